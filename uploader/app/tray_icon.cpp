#include "uploader/app/tray_icon.h"

#include <algorithm>

#include "common/cp949.h"
#include "uploader/app/dialog_view.h"

namespace quenvara::uploader {

const std::array<TrayMenuItem, 6> kTrayMenu = {{
    {command::kTrayWebSite, "퀜바라 가기"},
    {0, ""},
    {command::kTrayShow, "보이기"},
    {command::kTrayHide, "감추기"},
    {0, ""},
    {command::kTrayExit, "종료"},
}};

void TrayIcon::add(std::string_view tip) {
    setTip(tip);
    std::lock_guard lock(mutex_);
    present_ = true;
    hidden_ = false;
    frame_ = 0;
}

void TrayIcon::remove() {
    std::lock_guard lock(mutex_);
    present_ = false;
}

bool TrayIcon::present() const {
    std::lock_guard lock(mutex_);
    return present_;
}

void TrayIcon::nextFrame() {
    std::lock_guard lock(mutex_);
    frame_ = (frame_ + 1) % kFrameCount;
}

void TrayIcon::stillFrame() {
    std::lock_guard lock(mutex_);
    frame_ = 0;
}

int TrayIcon::frame() const {
    std::lock_guard lock(mutex_);
    return frame_;
}

int TrayIcon::iconResource() const {
    const int f = frame();
    return f == 0 ? 160 : 148 + f;
}

void TrayIcon::setTip(std::string_view utf8) {
    std::string cut;
    if (auto bytes = cp949::fromUtf8(utf8)) {
        cut = cp949::toUtf8(bytes->substr(0, cp949::prefixLength(*bytes, kTipBytes)));
    } else {
        // Not expressible in CP949: cut the UTF-8 text itself, never mid-character.
        std::size_t n = std::min(utf8.size(), kTipBytes);
        while (n > 0 && n < utf8.size() && (static_cast<unsigned char>(utf8[n]) & 0xC0) == 0x80) {
            --n;
        }
        cut = std::string(utf8.substr(0, n));
    }
    std::lock_guard lock(mutex_);
    tip_ = std::move(cut);
}

std::string TrayIcon::tip() const {
    std::lock_guard lock(mutex_);
    return tip_;
}

bool TrayIcon::hidden() const {
    std::lock_guard lock(mutex_);
    return hidden_;
}

void TrayIcon::setHidden(bool hidden) {
    std::lock_guard lock(mutex_);
    hidden_ = hidden;
}

}  // namespace quenvara::uploader
