#pragma once

#include <string>

#include "uploader/widgets/mask_region.h"

namespace quenvara::widgets {

enum class TaskbarSide { Bottom, Top, Left, Right };

// Where the task bar is, from the work area and the screen.
TaskbarSide taskbarSide(const PixelRect& screen, const PixelRect& workArea);

// The timers the notifier's motion runs on; the widget binds them to real
// timers, tests to a list.
class NotifierTimers {
  public:
    virtual ~NotifierTimers() = default;
    virtual void start(int id, int milliseconds) = 0;
    virtual void stop(int id) = 0;
};

// The corner popup's motion, without a window: it slides out from the task
// bar's side in 2-pixel steps, stays, and slides back, and answers clicks.
class NotifierMotion {
  public:
    enum class Phase { Hidden, Appearing, Staying, Disappearing };
    static constexpr int kStep = 2;
    static constexpr int kAppearTimer = 1;
    static constexpr int kStayTimer = 2;
    static constexpr int kDisappearTimer = 3;

    NotifierMotion(NotifierTimers& timers, int width, int height)
        : timers_(timers), width_(width), height_(height) {}

    void setTextRect(const PixelRect& rect) { textRect_ = rect; }
    void setAutoHide(std::string autoHide) { autoHide_ = std::move(autoHide); }

    // Returns true when the window must be repainted (shown again while it
    // stays).
    bool show(const PixelRect& screen, const PixelRect& workArea, int appearMs, int stayMs,
              int disappearMs);
    void hide();
    void onTimer(int id);
    // A left-button release at client coordinates.
    void onClick(int x, int y);

    Phase phase() const { return phase_; }
    TaskbarSide side() const { return side_; }
    // The window's rectangle on screen; zero size while hidden.
    PixelRect windowRect() const;
    int appearInterval() const { return appearInterval_; }
    int disappearInterval() const { return disappearInterval_; }

  private:
    int slideSize() const;
    void startDisappearing();

    NotifierTimers& timers_;
    int width_;
    int height_;
    PixelRect textRect_;
    std::string autoHide_ = "ture";
    PixelRect work_;
    TaskbarSide side_ = TaskbarSide::Bottom;
    Phase phase_ = Phase::Hidden;
    int shown_ = 0;
    int stayMs_ = 0;
    int appearInterval_ = 0;
    int disappearInterval_ = 0;
};

}  // namespace quenvara::widgets
