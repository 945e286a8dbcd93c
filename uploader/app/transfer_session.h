#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/notices.h"
#include "uploader/transfer/transfer_thread.h"

namespace quenvara::uploader {

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
