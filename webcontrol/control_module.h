#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "handover_client/pipe_list_writer.h"
#include "protocol/list_message.h"

namespace quenvara::webcontrol {

// What every control of a process shares: the pipe writer, the all-files
// and music arrays the page reads back, and the music list entries sent
// with an upload. The arrays and the entry buffer come into being at the
// first upload-mode selection, with room for the maximum file count then,
// and keep that room.
class ControlModule {
  public:
    explicit ControlModule(handover::PipeListWriter& writer) : writer_(writer) {}

    handover::PipeListWriter& writer() { return writer_; }

    bool allocated() const { return allocated_; }
    std::size_t capacity() const { return capacity_; }
    // Makes the arrays (first time only) and empties them and the buffer.
    void resetForSelection(int maxFileCount);

    // Appends within the capacity; false when the array is full.
    bool addFile(std::string name);
    bool addMusic(std::string description);
    const std::vector<std::string>& files() const { return files_; }
    const std::vector<std::string>& music() const { return music_; }

    std::vector<handover::MusicListEntry>& entries() { return entries_; }

    // The arrays as the page reads them, to be put back after a refused
    // selection.
    struct Contents {
        bool allocated = false;
        std::size_t capacity = 0;
        std::vector<std::string> files;
        std::vector<std::string> music;
    };
    Contents contents() const { return {allocated_, capacity_, files_, music_}; }
    void restore(Contents contents) {
        allocated_ = contents.allocated;
        capacity_ = contents.capacity;
        files_ = std::move(contents.files);
        music_ = std::move(contents.music);
    }

  private:
    handover::PipeListWriter& writer_;
    bool allocated_ = false;
    std::size_t capacity_ = 0;
    std::vector<std::string> files_;
    std::vector<std::string> music_;
    std::vector<handover::MusicListEntry> entries_;
};

}  // namespace quenvara::webcontrol
