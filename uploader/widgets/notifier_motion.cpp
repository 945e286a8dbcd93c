#include "uploader/widgets/notifier_motion.h"

#include <algorithm>

namespace quenvara::widgets {

TaskbarSide taskbarSide(const PixelRect& screen, const PixelRect& workArea) {
    if (workArea.width < screen.width) {
        return workArea.x == 0 ? TaskbarSide::Right : TaskbarSide::Left;
    }
    if (workArea.height < screen.height && workArea.y != 0) {
        return TaskbarSide::Top;
    }
    return TaskbarSide::Bottom;
}

int NotifierMotion::slideSize() const {
    return side_ == TaskbarSide::Left || side_ == TaskbarSide::Right ? width_ : height_;
}

bool NotifierMotion::show(const PixelRect& screen, const PixelRect& workArea, int appearMs,
                          int stayMs, int disappearMs) {
    stayMs_ = stayMs;
    switch (phase_) {
        case Phase::Appearing:
            return false;
        case Phase::Staying:
            timers_.stop(kStayTimer);
            timers_.start(kStayTimer, stayMs_);
            return true;
        case Phase::Disappearing:
            timers_.stop(kDisappearTimer);
            shown_ = slideSize();
            phase_ = Phase::Staying;
            timers_.start(kStayTimer, stayMs_);
            return true;
        case Phase::Hidden:
            break;
    }
    work_ = workArea;
    side_ = taskbarSide(screen, workArea);
    const int steps = std::max(slideSize() / kStep, 1);
    appearInterval_ = std::max(appearMs / steps, 1);
    disappearInterval_ = std::max(disappearMs / steps, 1);
    shown_ = 0;
    phase_ = Phase::Appearing;
    timers_.start(kAppearTimer, appearInterval_);
    return false;
}

void NotifierMotion::hide() {
    timers_.stop(kAppearTimer);
    timers_.stop(kStayTimer);
    timers_.stop(kDisappearTimer);
    shown_ = 0;
    phase_ = Phase::Hidden;
}

void NotifierMotion::startDisappearing() {
    timers_.stop(kAppearTimer);
    timers_.stop(kStayTimer);
    phase_ = Phase::Disappearing;
    timers_.start(kDisappearTimer, disappearInterval_);
}

void NotifierMotion::onTimer(int id) {
    if (id == kAppearTimer && phase_ == Phase::Appearing) {
        shown_ = std::min(shown_ + kStep, slideSize());
        if (shown_ == slideSize()) {
            timers_.stop(kAppearTimer);
            phase_ = Phase::Staying;
            timers_.start(kStayTimer, stayMs_);
        }
    } else if (id == kStayTimer && phase_ == Phase::Staying) {
        timers_.stop(kStayTimer);
        // Only the exact text "false" keeps the popup up.
        if (autoHide_ != "false") {
            startDisappearing();
        }
    } else if (id == kDisappearTimer && phase_ == Phase::Disappearing) {
        shown_ = std::max(shown_ - kStep, 0);
        if (shown_ == 0) {
            timers_.stop(kDisappearTimer);
            phase_ = Phase::Hidden;
        }
    }
}

void NotifierMotion::onClick(int x, int y) {
    if (phase_ != Phase::Appearing && phase_ != Phase::Staying) {
        return;
    }
    const bool onText = x >= textRect_.x && x < textRect_.x + textRect_.width && y >= textRect_.y &&
                        y < textRect_.y + textRect_.height;
    const bool onClose = x >= width_ - 20 && x <= width_ - 10 && y >= 9 && y <= 20;
    if (onText || onClose) {
        startDisappearing();
    }
}

PixelRect NotifierMotion::windowRect() const {
    if (phase_ == Phase::Hidden || shown_ == 0) {
        return {};
    }
    const int right = work_.x + work_.width;
    const int bottom = work_.y + work_.height;
    switch (side_) {
        case TaskbarSide::Right:
            return {right - shown_, bottom - height_, shown_, height_};
        case TaskbarSide::Left:
            return {work_.x, bottom - height_, shown_, height_};
        case TaskbarSide::Top:
            return {right - width_, work_.y, width_, shown_};
        case TaskbarSide::Bottom:
            break;
    }
    return {right - width_, bottom - shown_, width_, shown_};
}

}  // namespace quenvara::widgets
