#pragma once

#include <wx/timer.h>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/event_loop.h"

namespace quenvara::uploader::wxui {

// The window logic's loop on the toolkit's main loop: posts and sends become
// queued calls on the GUI thread, timers become toolkit timers by id. Calls
// from other threads are safe; timers are created on the GUI thread.
class WxEventLoop final : public platform::RunnableEventLoop {
  public:
    WxEventLoop();
    ~WxEventLoop() override;

    void run() override;
    void post(Task task) override;
    bool send(Task task) override;
    void setTimer(int id, platform::Millis period, Task onExpiry) override;
    void killTimer(int id) override;
    void quit() override;

  private:
    struct PendingSend {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        bool ran = false;
    };
    class Timer;

    bool onGuiThread() const { return std::this_thread::get_id() == guiThread_; }
    void startTimer(int id, platform::Millis period, Task onExpiry);
    void stopTimer(int id);
    void endPendingSends();

    std::thread::id guiThread_;
    std::mutex mutex_;
    bool ended_ = false;
    std::vector<std::shared_ptr<PendingSend>> pending_;
    std::map<int, std::unique_ptr<Timer>> timers_;
    // A timer stopped from inside its own expiry is deleted later.
    std::vector<std::unique_ptr<Timer>> retired_;
};

}  // namespace quenvara::uploader::wxui
