#include "uploader/widgets/countdown.h"

namespace quenvara::widgets {

Countdown::Step Countdown::tick() {
    if (seconds_ > 0) {
        --seconds_;
        return Step::Count;
    }
    return autoClose_ ? Step::FinishClose : Step::Finish;
}

std::string Countdown::countdownText(int seconds) {
    return std::to_string(seconds) + " 초 후 자동 종료 됩니다.";
}

}  // namespace quenvara::widgets
