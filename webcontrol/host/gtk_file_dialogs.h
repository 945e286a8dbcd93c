#pragma once

#include "platform/file_dialogs.h"

namespace quenvara::webcontrol {

// The desktop's file chooser: the freedesktop file-chooser portal where the
// desktop offers one, else GTK's own dialog (both through GTK's native
// dialog). Without a display every dialog counts as cancelled.
class GtkFileDialogs final : public platform::FileDialogs {
  public:
    std::optional<std::string> browseFolder(std::string_view title) override;
    std::optional<std::string> openFile(std::string_view title) override;

  private:
    std::optional<std::string> choose(std::string_view title, bool folder);
    bool ready();

    bool tried_ = false;
    bool ready_ = false;
};

}  // namespace quenvara::webcontrol
