#pragma once

#include <string>

namespace quenvara::widgets {

// The countdown of a self-closing message box: one tick a second.
class Countdown {
  public:
    static constexpr int kTimerId = 100;
    static constexpr int kPeriodMs = 1000;

    Countdown(int seconds, bool autoClose)
        : seconds_(seconds < 0 ? 0 : seconds), autoClose_(autoClose) {}

    enum class Step {
        Count,       // a second less: rewrite the countdown text
        Finish,      // at zero: focus the second button, stop the timer
        FinishClose  // the same, and close the box as if cancelled
    };
    Step tick();
    int secondsLeft() const { return seconds_; }
    std::string text() const { return countdownText(seconds_); }

    // "%d 초 후 자동 종료 됩니다."
    static std::string countdownText(int seconds);

  private:
    int seconds_;
    bool autoClose_;
};

}  // namespace quenvara::widgets
