#include "uploader/app/transfer_session.h"

namespace quenvara::uploader {

TransferSession::~TransferSession() {
    if (thread_) {
        thread_->join();
    }
}

void TransferSession::waitForCurrent() {
    if (thread_) {
        thread_->join();
    }
}

bool TransferSession::start(int mode, const std::string& registrant) {
    if (mode != transfer_mode::kUploadRun && mode != transfer_mode::kUploadFolderExpansion &&
        mode != transfer_mode::kMyStorageFolderExpansion) {
        notices_.messageBox("Command 에러", "알림", platform::NoticeButtons::Ok,
                            platform::NoticeIcon::Stop);
        return false;
    }
    if (!factory_) {
        notices_.messageBox("전송 엔진이 없어 작업을 시작할 수 없습니다.", "알림",
                            platform::NoticeButtons::Ok, platform::NoticeIcon::Stop);
        return false;
    }
    // The previous thread has ended or is ending: the window starts a run
    // only when none is running.
    if (thread_) {
        thread_->join();
    }
    thread_ = factory_(mode, registrant, owner_);
    return thread_ != nullptr;
}

}  // namespace quenvara::uploader
