#pragma once

#include <cstdint>
#include <map>

namespace quenvara::uploader {

// The bytes of each row counted into the run's done bytes, so that bytes
// sent again after a break or a failed conversation count once.
class RowByteAccount {
  public:
    // Row `id`'s data phase starts at the server's offset. Gives the change
    // to the run's done bytes: a row seen before counts from where the
    // server's data ends (negative when the server holds less than was
    // counted); a row seen first counts what the server already holds,
    // unless it resumes a record kept from a break.
    double startFile(std::uint64_t id, double serverOffset, bool resumingKeptRecord) {
        auto [entry, first] = counted_.try_emplace(id, 0.0);
        double change = 0;
        if (!first) {
            change = serverOffset - entry->second;
        } else if (!resumingKeptRecord) {
            change = serverOffset;
        }
        entry->second = serverOffset;
        current_ = &entry->second;
        return change;
    }
    // Bytes of the current file that went out.
    void sent(double bytes) {
        if (current_ != nullptr) {
            *current_ += bytes;
        }
    }
    double counted(std::uint64_t id) const {
        const auto entry = counted_.find(id);
        return entry == counted_.end() ? 0 : entry->second;
    }

  private:
    std::map<std::uint64_t, double> counted_;
    double* current_ = nullptr;  // map nodes stay put
};

}  // namespace quenvara::uploader
