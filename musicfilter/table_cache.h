#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>

namespace quenvara::musicfilter {

// Tables that depend on one number only (a sample rate, a transform length),
// made once and shared by every computation in the process. A few entries
// are kept; files of many odd rates only make it start over.
template <class Tables>
class TableCache {
  public:
    template <class Make>
    std::shared_ptr<const Tables> get(std::size_t key, Make&& make) {
        std::lock_guard guard(lock_);
        if (const auto it = entries_.find(key); it != entries_.end()) {
            return it->second;
        }
        if (entries_.size() >= kEntries) {
            entries_.clear();
        }
        auto tables = std::make_shared<const Tables>(make(key));
        entries_.emplace(key, tables);
        return tables;
    }

  private:
    static constexpr std::size_t kEntries = 8;
    std::mutex lock_;
    std::map<std::size_t, std::shared_ptr<const Tables>> entries_;
};

}  // namespace quenvara::musicfilter
