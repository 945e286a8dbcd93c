#include "uploader/app/dialog_view.h"

namespace quenvara::uploader {

DialogView::DialogView() {
    // Initial texts of the template.
    controls_[control::kOverallBar].text = "0%";
    controls_[control::kOverallBar].showText = true;
    controls_[control::kShutdownCheck].text = "컴퓨터 종료";
    controls_[control::kRemainingTime].text = "00:00:00";
    // A speed reads as one, also before the first upload.
    controls_[control::kSpeed].text = "0 KBps";
    controls_[control::kNotificationsOffCheck].text = "알림창 끄기";
    controls_[control::kCloseWindowCheck].text = "창 닫기";
    controls_[control::kElapsed].text = "00:00:00";
    controls_[control::kElapsed].visible = false;
    controls_[control::kCountText].text = "0 / 0 ( 0MB / 0MB )";
    controls_[control::kCountText].visible = false;
    controls_[control::kStatusLine].visible = false;
    controls_[control::kHiddenBar].visible = false;
    controls_[control::kSpeedChoice].visible = false;
    controls_[control::kStartStop].enabled = false;
}

void DialogView::setText(int id, std::string_view text) {
    std::lock_guard lock(mutex_);
    controls_[id].text = std::string(text);
    ++revision_;
}

std::string DialogView::text(int id) const {
    std::lock_guard lock(mutex_);
    auto it = controls_.find(id);
    return it == controls_.end() ? std::string{} : it->second.text;
}

void DialogView::setVisible(int id, bool visible) {
    std::lock_guard lock(mutex_);
    controls_[id].visible = visible;
    ++revision_;
}

void DialogView::setEnabled(int id, bool enabled) {
    std::lock_guard lock(mutex_);
    controls_[id].enabled = enabled;
    ++revision_;
}

bool DialogView::enabled(int id) const {
    return control(id).enabled;
}

void DialogView::setCheck(int id, int state) {
    std::lock_guard lock(mutex_);
    controls_[id].check = state;
    ++revision_;
}

int DialogView::check(int id) const {
    return control(id).check;
}

void DialogView::setRange(int id, double upper) {
    std::lock_guard lock(mutex_);
    controls_[id].upper = upper;
    ++revision_;
}

void DialogView::setPosition(int id, double position) {
    std::lock_guard lock(mutex_);
    controls_[id].position = position;
    ++revision_;
}

void DialogView::setShowText(int id, bool show) {
    std::lock_guard lock(mutex_);
    controls_[id].showText = show;
    ++revision_;
}

void DialogView::setLook(int id, ButtonLook look) {
    std::lock_guard lock(mutex_);
    controls_[id].look = look;
    ++revision_;
}

ControlState DialogView::control(int id) const {
    std::lock_guard lock(mutex_);
    auto it = controls_.find(id);
    return it == controls_.end() ? ControlState{} : it->second;
}

void DialogView::setWindowState(WindowState state) {
    std::lock_guard lock(mutex_);
    window_ = state;
    ++revision_;
}

WindowState DialogView::windowState() const {
    std::lock_guard lock(mutex_);
    return window_;
}

void DialogView::raise() {
    std::lock_guard lock(mutex_);
    ++raised_;
    ++revision_;
}

int DialogView::raiseCount() const {
    std::lock_guard lock(mutex_);
    return raised_;
}

std::uint64_t DialogView::revision() const {
    std::lock_guard lock(mutex_);
    return revision_;
}

}  // namespace quenvara::uploader
