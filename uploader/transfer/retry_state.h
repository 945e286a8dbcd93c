#pragma once

#include <cstdint>

namespace quenvara::uploader {

// The row the engine works on, and the row its working record is kept for
// after a broken transfer (ids from the list; 0: none). A kept record
// belongs to the row that broke: a retry resumes that row only, and any
// other row takes its own record.
class RetryState {
  public:
    // The run loop takes row `id`. False when the kept record is for another
    // row: it is dropped, and the caller clears its resume mark.
    bool takeRow(std::uint64_t id) {
        work_ = id;
        if (keptFor_ != id) {
            keptFor_ = 0;
            return false;
        }
        return true;
    }
    // The server asked for the next file of the group on this connection.
    void nextInGroup(std::uint64_t id) { work_ = id; }
    // The working row's transfer broke: its record is kept for it.
    void keep() { keptFor_ = work_; }
    // The working row's file is through: its mark must not carry over.
    void fileDone() {
        if (keptFor_ == work_) {
            keptFor_ = 0;
        }
    }
    bool keptForWorkRow() const { return keptFor_ == work_; }
    std::uint64_t workRow() const { return work_; }
    std::uint64_t keptFor() const { return keptFor_; }

  private:
    std::uint64_t work_ = 0;
    std::uint64_t keptFor_ = 0;
};

}  // namespace quenvara::uploader
