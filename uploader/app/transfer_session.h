#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/notices.h"
#include "uploader/app/engine_operations.h"

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

// Starts transfer threads for its owner window and keeps the last one.
class TransferSession {
  public:
    TransferSession(platform::Notices& notices, EngineOperations& owner)
        : notices_(notices), owner_(owner) {}
    ~TransferSession();

    void setFactory(TransferThreadFactory factory) { factory_ = std::move(factory); }

    // Modes 512, 518 and 2001 only; any other shows "Command 에러".
    bool start(int mode, const std::string& registrant);
    TransferThread* current() const { return thread_.get(); }
    // Waits for the last thread started to end.
    void waitForCurrent();

  private:
    platform::Notices& notices_;
    EngineOperations& owner_;
    TransferThreadFactory factory_;
    std::unique_ptr<TransferThread> thread_;
};

}  // namespace quenvara::uploader
