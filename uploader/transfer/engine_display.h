#pragma once

#include <string>
#include <string_view>

namespace quenvara::uploader {

// The window's displays the engine writes, named by what they show; the
// window logic decides which of its controls shows each.
enum class Display {
    StatusLine,
    FileBar,  // the current file's bar, with its text
    OverallBar,
    CurrentFile,
    PathBox,
    Speed,
    RemainingTime,
    StartButton,
};

class EngineDisplay {
  public:
    virtual ~EngineDisplay() = default;
    virtual void setText(Display display, std::string_view text) = 0;
    virtual std::string text(Display display) const = 0;
    virtual void setRange(Display display, double upper) = 0;
    virtual void setPosition(Display display, double position) = 0;
    virtual void setShowText(Display display, bool show) = 0;
    virtual void setEnabled(Display display, bool enabled) = 0;
};

}  // namespace quenvara::uploader
