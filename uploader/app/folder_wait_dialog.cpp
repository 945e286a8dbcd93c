#include "uploader/app/folder_wait_dialog.h"

namespace quenvara::uploader {

using namespace std::chrono_literals;

namespace {
constexpr int kEnter = 13;
constexpr int kEscape = 27;
constexpr int kF12 = 123;
}  // namespace

void FolderWaitDialog::run(int mode, const std::string& registrant) {
    const bool expanding = mode == transfer_mode::kUploadFolderExpansion ||
                           mode == transfer_mode::kMyStorageFolderExpansion;
    open_ = true;
    frame_ = 0;
    loop_.setTimer(kAnimationTimer, expanding ? 1000ms : 100ms,
                   [this] { frame_ = (frame_ + 1) % kFrameCount; });
    if (expanding && !session_.start(mode, registrant)) {
        close();
    }
}

void FolderWaitDialog::scheduleClose() {
    loop_.setTimer(kCloseTimer, 500ms, [this] { close(); });
}

void FolderWaitDialog::close() {
    loop_.killTimer(kCloseTimer);
    loop_.killTimer(kAnimationTimer);
    open_ = false;
}

bool FolderWaitDialog::swallowsKey(int key) const {
    return key == kEnter || key == kEscape || key == kF12;
}

}  // namespace quenvara::uploader
