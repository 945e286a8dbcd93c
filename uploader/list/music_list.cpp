#include "uploader/list/music_list.h"

#include "common/cp949.h"

namespace quenvara::uploader {

void MusicList::receive(std::span<const handover::MusicListEntry> entries) {
    std::lock_guard lock(mutex_);
    byName_.clear();
    for (const auto& e : entries) {
        byName_[cp949::toUtf8(e.baseNameBytes())] =
            Entry{cp949::toUtf8(e.fileNameBytes()), e.musicChecked(), e.secondFlag()};
    }
    entryCount_ = entries.size();
    received_ = true;
}

bool MusicList::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::size_t MusicList::entryCount() const {
    std::lock_guard lock(mutex_);
    return entryCount_;
}

std::size_t MusicList::size() const {
    std::lock_guard lock(mutex_);
    return byName_.size();
}

std::optional<MusicList::Entry> MusicList::find(const std::string& fileName) const {
    std::lock_guard lock(mutex_);
    auto it = byName_.find(fileName);
    if (it == byName_.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::optional<MusicList::Entry> MusicList::take(const std::string& fileName) {
    std::lock_guard lock(mutex_);
    auto it = byName_.find(fileName);
    if (it == byName_.end()) {
        return std::nullopt;
    }
    auto e = it->second;
    byName_.erase(it);
    return e;
}

}  // namespace quenvara::uploader
