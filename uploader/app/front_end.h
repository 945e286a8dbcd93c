#pragma once

#include <string>
#include <string_view>

#include "platform/event_loop.h"
#include "uploader/app/corner_notifier.h"
#include "uploader/app/dialog_view.h"
#include "uploader/app/folder_wait_dialog.h"
#include "uploader/list/file_list_view.h"
#include "uploader/transfer/upload_session.h"

namespace quenvara::uploader {

class UploadMainWindow;

// The same-name question every front-end asks, and its caption.
inline std::string sameNameQuestion(const std::string& itemName) {
    return itemName + "와 \n같은 이름의 파일이 있습니다.\n이어 올리시겠습니까?";
}
inline constexpr std::string_view kSameNameCaption = "파일 올리기 - 알림 창";

// What a front-end gives the application: it draws the window logic's
// controls and list, shows the corner notices and answers the same-name
// question. The headless front-end prints lines; a windowed one draws.
class FrontEnd : public CornerNotifier {
  public:
    // Draws the window on the loop whenever something changed.
    virtual void attach(platform::EventLoop& loop, const DialogView& view,
                        const CFileListView& list, const FolderWaitDialog* folderWait) = 0;
    // A last drawing before the program ends.
    virtual void render() = 0;
    // The window logic that a person's clicks and keys go to; a front-end
    // without input ignores it.
    virtual void connect(UploadMainWindow& window) { (void)window; }
    virtual ResumeQuestionDialog& resumeQuestion() = 0;
};

}  // namespace quenvara::uploader
