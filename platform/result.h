#pragma once

#include <optional>
#include <string>
#include <utility>

namespace quenvara {

// A value or a human-readable reason why there is none. Used at every
// boundary where outside input or the system can refuse us.
template <class T>
class Result {
  public:
    Result(T value) : value_(std::move(value)) {}
    static Result failure(std::string why) {
        Result r;
        r.error_ = std::move(why);
        return r;
    }

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }
    T& value() { return *value_; }
    const T& value() const { return *value_; }
    T& operator*() { return *value_; }
    const T& operator*() const { return *value_; }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    const std::string& error() const { return error_; }

  private:
    Result() = default;
    std::optional<T> value_;
    std::string error_;
};

// Success or a reason, for operations that produce nothing.
class Status {
  public:
    Status() = default;
    static Status failure(std::string why) {
        Status s;
        s.failed_ = true;
        s.error_ = std::move(why);
        return s;
    }
    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const std::string& error() const { return error_; }

  private:
    bool failed_ = false;
    std::string error_;
};

}  // namespace quenvara
