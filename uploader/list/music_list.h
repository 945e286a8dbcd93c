#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "protocol/list_message.h"

namespace quenvara::uploader {

// The music list from the hand-over: by file name (the part after the last
// separator), the entry's path and its two flags. A later entry of the same
// name replaces an earlier one.
class MusicList {
  public:
    struct Entry {
        std::string path;  // as the page passed it (UTF-8)
        char musicChecked = 0;
        char secondFlag = 0;
    };

    void receive(std::span<const handover::MusicListEntry> entries);
    bool received() const;
    std::size_t entryCount() const;
    std::size_t size() const;
    std::optional<Entry> find(const std::string& fileName) const;
    // The engine takes an entry out once it has used it.
    std::optional<Entry> take(const std::string& fileName);

  private:
    mutable std::mutex mutex_;
    bool received_ = false;
    std::size_t entryCount_ = 0;
    std::map<std::string, Entry> byName_;
};

}  // namespace quenvara::uploader
