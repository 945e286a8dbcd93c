#pragma once

#include "platform/file_dialogs.h"
#include "platform/notices.h"

namespace quenvara::webcontrol {

// The desktop's file chooser: the freedesktop file-chooser portal where the
// desktop offers one, else GTK's own dialog (both through GTK's native
// dialog). Without a display no dialog can open: the person is told so,
// and the call returns as cancelled.
class GtkFileDialogs final : public platform::FileDialogs {
  public:
    static constexpr std::string_view kNoDisplayText = "화면이 없어 파일 선택 창을 열 수 없습니다.";
    explicit GtkFileDialogs(platform::Notices& notices) : notices_(notices) {}
    std::optional<std::string> browseFolder(std::string_view title) override;
    std::optional<std::string> openFile(std::string_view title) override;

  private:
    std::optional<std::string> choose(std::string_view title, bool folder);
    bool ready();

    platform::Notices& notices_;
    bool tried_ = false;
    bool ready_ = false;
};

}  // namespace quenvara::webcontrol
