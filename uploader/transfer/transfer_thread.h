#pragma once

#include <functional>
#include <memory>
#include <string>

#include "uploader/transfer/engine_operations.h"

namespace quenvara::uploader {

// Modes of a transfer thread.
namespace transfer_mode {
inline constexpr int kUploadRun = 512;
inline constexpr int kUploadFolderExpansion = 518;
inline constexpr int kMyStorageFolderExpansion = 2001;
}  // namespace transfer_mode

// A started transfer thread, as its starter sees it.
class TransferThread {
  public:
    virtual ~TransferThread() = default;
    virtual bool finished() const = 0;
    // Makes a blocked network call return (the window is closing).
    virtual void interrupt() {}
    // Waits for the thread to end (shutdown, tests).
    virtual void join() = 0;
};

// Creates the transfer thread (CFileSocket) for a mode.
using TransferThreadFactory = std::function<std::unique_ptr<TransferThread>(
    int mode, const std::string& registrant, EngineOperations& window)>;

}  // namespace quenvara::uploader
