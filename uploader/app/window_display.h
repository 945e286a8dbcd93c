#pragma once

#include "uploader/app/dialog_view.h"
#include "uploader/transfer/engine_display.h"

namespace quenvara::uploader {

// The engine's displays on the main window's controls.
class WindowDisplay final : public EngineDisplay {
  public:
    explicit WindowDisplay(DialogView& view) : view_(view) {}

    static int controlOf(Display display) {
        switch (display) {
            case Display::StatusLine:
                return control::kStatusLine;
            case Display::FileBar:
                return control::kHiddenBar;
            case Display::OverallBar:
                return control::kOverallBar;
            case Display::CurrentFile:
                return control::kCurrentFile;
            case Display::PathBox:
                return control::kPathBox;
            case Display::Speed:
                return control::kSpeed;
            case Display::RemainingTime:
                return control::kRemainingTime;
            case Display::StartButton:
                return control::kStartStop;
        }
        return control::kStatusLine;
    }

    void setText(Display d, std::string_view text) override { view_.setText(controlOf(d), text); }
    std::string text(Display d) const override { return view_.text(controlOf(d)); }
    void setRange(Display d, double upper) override { view_.setRange(controlOf(d), upper); }
    void setPosition(Display d, double position) override {
        view_.setPosition(controlOf(d), position);
    }
    void setShowText(Display d, bool show) override { view_.setShowText(controlOf(d), show); }
    void setEnabled(Display d, bool enabled) override { view_.setEnabled(controlOf(d), enabled); }

  private:
    DialogView& view_;
};

}  // namespace quenvara::uploader
