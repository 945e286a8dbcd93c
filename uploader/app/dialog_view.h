#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

namespace quenvara::uploader {

// Control identifiers of the main window (dialog template 102).
namespace control {
inline constexpr int kHiddenBar = 1001;
inline constexpr int kOverallBar = 1002;
inline constexpr int kShutdownCheck = 1003;  // "컴퓨터 종료"
inline constexpr int kCurrentFile = 1004;
inline constexpr int kRemainingTime = 1005;
inline constexpr int kSpeed = 1006;
inline constexpr int kNotificationsOffCheck = 1007;  // "알림창 끄기"
inline constexpr int kSpeedChoice = 1008;
inline constexpr int kPathBox = 1011;
inline constexpr int kStartStop = 1012;
inline constexpr int kClose = 1013;
inline constexpr int kStatusLine = 1016;
inline constexpr int kMaximize = 1018;
inline constexpr int kDelete = 1028;
inline constexpr int kMinimize = 1029;
inline constexpr int kHide = 1030;
inline constexpr int kCloseWindowCheck = 1031;  // "창 닫기"
inline constexpr int kElapsed = 1033;
inline constexpr int kCountText = 1035;
inline constexpr int kClose2 = 1036;
}  // namespace control

// Commands of the tray menu.
namespace command {
inline constexpr int kTrayExit = 32773;
inline constexpr int kTrayHide = 32779;
inline constexpr int kTrayShow = 32780;
inline constexpr int kTrayWebSite = 32781;
}  // namespace command

enum class ButtonLook { Start, Stop };
enum class WindowState { Normal, Hidden, Minimized, Maximized };

struct ControlState {
    std::string text;
    bool visible = true;
    bool enabled = true;
    int check = 0;  // 0 unchecked, 1 checked, 2 indeterminate
    double upper = 100;
    double position = 0;
    bool showText = false;
    ButtonLook look = ButtonLook::Start;
};

// The window's controls as values: the window logic writes them (from the
// window thread, and the engine from its thread); a front-end renders them;
// tests read them.
class DialogView {
  public:
    DialogView();

    void setText(int id, std::string_view text);
    std::string text(int id) const;
    void setVisible(int id, bool visible);
    void setEnabled(int id, bool enabled);
    bool enabled(int id) const;
    void setCheck(int id, int state);
    int check(int id) const;
    void setRange(int id, double upper);
    void setPosition(int id, double position);
    void setShowText(int id, bool show);
    void setLook(int id, ButtonLook look);
    ControlState control(int id) const;

    void setWindowState(WindowState state);
    WindowState windowState() const;
    // Focus, foreground, top: the window was brought forward this many times.
    void raise();
    int raiseCount() const;
    // Grows with every change, so a front-end knows when to redraw.
    std::uint64_t revision() const;

  private:
    mutable std::mutex mutex_;
    std::map<int, ControlState> controls_;
    WindowState window_ = WindowState::Normal;
    int raised_ = 0;
    std::uint64_t revision_ = 0;
};

}  // namespace quenvara::uploader
