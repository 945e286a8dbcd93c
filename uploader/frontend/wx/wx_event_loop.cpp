#include "uploader/frontend/wx/wx_event_loop.h"

#include <wx/app.h>

#include <algorithm>

namespace quenvara::uploader::wxui {

class WxEventLoop::Timer final : public wxTimer {
  public:
    explicit Timer(Task onExpiry) : onExpiry_(std::move(onExpiry)) {}
    void Notify() override {
        // The task may replace or kill this very timer: keep it alive.
        Task task = onExpiry_;
        task();
    }

  private:
    Task onExpiry_;
};

WxEventLoop::WxEventLoop() : guiThread_(std::this_thread::get_id()) {}

WxEventLoop::~WxEventLoop() {
    endPendingSends();
    for (auto& [id, timer] : timers_) {
        timer->Stop();
    }
}

void WxEventLoop::run() {
    guiThread_ = std::this_thread::get_id();
    wxTheApp->OnRun();
    endPendingSends();
}

void WxEventLoop::post(Task task) {
    {
        std::lock_guard lock(mutex_);
        if (ended_) {
            return;
        }
    }
    wxTheApp->CallAfter([this, task = std::move(task)] {
        {
            std::lock_guard lock(mutex_);
            if (ended_) {
                return;
            }
        }
        task();
    });
}

bool WxEventLoop::send(Task task) {
    if (onGuiThread()) {
        task();
        return true;
    }
    auto pending = std::make_shared<PendingSend>();
    {
        std::lock_guard lock(mutex_);
        if (ended_) {
            return false;
        }
        pending_.push_back(pending);
    }
    wxTheApp->CallAfter([this, pending, task = std::move(task)] {
        bool run = false;
        {
            std::lock_guard lock(mutex_);
            run = !ended_;
        }
        if (run) {
            task();
        }
        {
            std::lock_guard lock(pending->mutex);
            pending->finished = true;
            pending->ran = run;
        }
        pending->done.notify_all();
        std::lock_guard lock(mutex_);
        std::erase(pending_, pending);
    });
    std::unique_lock lock(pending->mutex);
    pending->done.wait(lock, [&] { return pending->finished; });
    return pending->ran;
}

void WxEventLoop::endPendingSends() {
    std::vector<std::shared_ptr<PendingSend>> pending;
    {
        std::lock_guard lock(mutex_);
        ended_ = true;
        pending.swap(pending_);
    }
    for (auto& p : pending) {
        {
            std::lock_guard lock(p->mutex);
            p->finished = true;
        }
        p->done.notify_all();
    }
}

void WxEventLoop::setTimer(int id, platform::Millis period, Task onExpiry) {
    if (onGuiThread()) {
        startTimer(id, period, std::move(onExpiry));
    } else {
        post([this, id, period, onExpiry = std::move(onExpiry)]() mutable {
            startTimer(id, period, std::move(onExpiry));
        });
    }
}

void WxEventLoop::killTimer(int id) {
    if (onGuiThread()) {
        stopTimer(id);
    } else {
        post([this, id] { stopTimer(id); });
    }
}

void WxEventLoop::startTimer(int id, platform::Millis period, Task onExpiry) {
    stopTimer(id);
    auto timer = std::make_unique<Timer>(std::move(onExpiry));
    timer->Start(static_cast<int>(std::max<platform::Millis::rep>(period.count(), 1)));
    timers_[id] = std::move(timer);
}

void WxEventLoop::stopTimer(int id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) {
        return;
    }
    it->second->Stop();
    retired_.push_back(std::move(it->second));
    timers_.erase(it);
    if (retired_.size() == 1) {
        // Deleted once the current expiry (if any) has returned.
        wxTheApp->CallAfter([this] { retired_.clear(); });
    }
}

void WxEventLoop::quit() {
    auto stop = [this] {
        for (auto& [id, timer] : timers_) {
            timer->Stop();
        }
        wxTheApp->ExitMainLoop();
    };
    if (onGuiThread()) {
        stop();
    } else {
        wxTheApp->CallAfter(stop);
    }
}

}  // namespace quenvara::uploader::wxui
