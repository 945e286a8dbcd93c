#include "uploader/list/engine_gate.h"

namespace quenvara::uploader {

void EngineGate::hold() {
    std::unique_lock lock(mutex_);
    holdRequested_ = true;
    changed_.wait(lock, [&] { return parked_ || quiet_ || !inRun_; });
}

void EngineGate::release() {
    std::lock_guard lock(mutex_);
    holdRequested_ = false;
    changed_.notify_all();
}

void EngineGate::enterRun() {
    std::unique_lock lock(mutex_);
    // A run that starts while the window holds the list waits for it.
    changed_.wait(lock, [&] { return !holdRequested_; });
    inRun_ = true;
}

void EngineGate::leaveRun() {
    std::lock_guard lock(mutex_);
    inRun_ = false;
    changed_.notify_all();
}

void EngineGate::beginQuiet() {
    std::lock_guard lock(mutex_);
    quiet_ = true;
    changed_.notify_all();
}

void EngineGate::endQuiet() {
    std::unique_lock lock(mutex_);
    quiet_ = false;
    if (holdRequested_) {
        parked_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return !holdRequested_; });
        parked_ = false;
    }
}

void EngineGate::safePoint() {
    std::unique_lock lock(mutex_);
    if (!holdRequested_) {
        return;
    }
    parked_ = true;
    changed_.notify_all();
    changed_.wait(lock, [&] { return !holdRequested_; });
    parked_ = false;
}

}  // namespace quenvara::uploader
