#pragma once

#include <cstdint>
#include <string_view>

#include "uploader/list/job_state.h"

namespace quenvara::uploader {

// Failed conversations that end a run.
inline constexpr int kRunFailureLimit = 10;

// How a run ended.
struct RunEnd {
    // Conversations that failed in the run (10 end it).
    int failures = 0;
    // The server said this member is connected already (506): the next run
    // starts later by itself.
    bool alreadyConnected = false;
    // The run went through every row without being stopped.
    bool reachedEnd = false;
};

// A file whose data phase starts.
struct FileStart {
    std::uint64_t rowId = 0;
    std::string_view name;  // the item name, UTF-8
    std::string_view path;  // where it is read from
    double size = 0;
    // Where the server's data ends: the bytes go from here.
    double serverOffset = 0;
    // The correction to the run's done bytes for what the server already
    // holds, so that bytes sent twice around a break count once.
    double doneChange = 0;
    // Upload records (kind 4) write their progress texts with two blanks.
    bool uploadKind = true;
};

// What the engine tells the outside world about a run, as it happens. Rows
// are named by their list id, which survives deletes and moves. Called on
// the transfer thread: an implementation takes its own locks and posts
// anything slow to its own loop.
class EngineEvents {
  public:
    virtual ~EngineEvents() = default;
    virtual void runStarted() = 0;
    // A row's new state and status text (also when the row was deleted
    // meanwhile: the id then names no row).
    virtual void rowStateChanged(std::uint64_t rowId, RowState state,
                                 std::string_view statusText) = 0;
    // A file's data phase starts (its bytes follow in bytesSent).
    virtual void fileStarted(const FileStart& file) = 0;
    // Bytes of the current file went out (a chunk, or the part of one that
    // went before a failure).
    virtual void bytesSent(std::uint64_t rowId, double bytes) = 0;
    // The user stopped the run while the file's bytes were going out.
    virtual void fileStopped(std::uint64_t rowId) = 0;
    virtual void runEnded(const RunEnd& end) = 0;
};

}  // namespace quenvara::uploader
