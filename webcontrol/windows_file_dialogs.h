#pragma once

#include "platform/file_dialogs.h"

namespace quenvara::webcontrol {

// The system's folder browser (rooted at the desktop) and open-file dialog,
// owned by the calling thread's active window (the page's, in the control).
class WindowsFileDialogs final : public platform::FileDialogs {
  public:
    std::optional<std::string> browseFolder(std::string_view title) override;
    std::optional<std::string> openFile(std::string_view title) override;
};

}  // namespace quenvara::webcontrol
