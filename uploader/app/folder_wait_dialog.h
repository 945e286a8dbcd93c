#pragma once

#include <atomic>
#include <string>

#include "platform/event_loop.h"
#include "uploader/app/transfer_session.h"

namespace quenvara::uploader {

// The small busy dialog shown while a folder item is expanded: a nine-frame
// animation, closed by its own timer once the expansion is over (or by its
// button). Its timers live on the window's loop under their own ids.
class FolderWaitDialog {
  public:
    static constexpr int kFrameCount = 9;
    static constexpr int kCloseTimer = 12900;      // the dialog's timer 0
    static constexpr int kAnimationTimer = 12901;  // the dialog's timer 1

    FolderWaitDialog(platform::EventLoop& loop, TransferSession& session)
        : loop_(loop), session_(session) {}

    // Opens the dialog; in modes 518 and 2001 it first starts the expansion.
    void run(int mode, const std::string& registrant);
    // The engine's call when the expansion is over: closes in 500 ms.
    void scheduleClose();
    // Button 1015, or the close timer.
    void close();
    // Enter, Escape and F12 are swallowed: the dialog does not close by keyboard.
    bool swallowsKey(int key) const;

    bool open() const { return open_; }
    int frame() const { return frame_; }

  private:
    platform::EventLoop& loop_;
    TransferSession& session_;
    std::atomic<bool> open_{false};
    std::atomic<int> frame_{0};
};

}  // namespace quenvara::uploader
