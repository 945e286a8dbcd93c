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
    // A file's data phase starts at the server's offset. `doneChange`
    // corrects the run's done bytes for what the server already holds, so
    // that bytes sent twice around a break count once.
    virtual void fileStarted(std::uint64_t rowId, double fileSize, double serverOffset,
                             double doneChange) = 0;
    // Bytes of the current file went out.
    virtual void bytesSent(std::uint64_t rowId, double bytes) = 0;
    virtual void runEnded(const RunEnd& end) = 0;
};

}  // namespace quenvara::uploader
