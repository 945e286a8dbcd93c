#include "uploader/transfer/c_file_socket.h"

#include <cstdio>

namespace quenvara::uploader {

CFileSocket::CFileSocket(int mode, std::string registrant, EngineOperations& window,
                         TransferServices services)
    : mode_(mode),
      registrant_(std::move(registrant)),
      window_(window),
      services_(std::move(services)),
      thread_([this] { run(); }) {}

CFileSocket::~CFileSocket() {
    join();
}

void CFileSocket::join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
    }
}

void CFileSocket::run() {
    if (mode_ == transfer_mode::kUploadRun) {
        UploadSession session(window_, services_, registrant_);
        session.run();
    } else {
        services_.notices.messageBox("폴더 올리기는 아직 지원되지 않습니다.", "알림",
                                     platform::NoticeButtons::Ok, platform::NoticeIcon::Stop);
        window_.closeFolderWaitDialog();
    }
    finished_ = true;
}

TransferThreadFactory CFileSocket::factory(TransferServices services) {
    return [services](int mode, const std::string& registrant, EngineOperations& window) {
        return std::make_unique<CFileSocket>(mode, registrant, window, services);
    };
}

ResumeQuestionDialog::Answer HeadlessResumeQuestion::ask(const std::string& itemName) {
    char text[1024];
    std::snprintf(text, sizeof text, "%s와 \n같은 이름의 파일이 있습니다.\n이어 올리시겠습니까?",
                  itemName.c_str());
    notices_.messageBox(text, "파일 올리기 - 알림 창", platform::NoticeButtons::YesNo,
                        platform::NoticeIcon::Question);
    return {true, false};
}

}  // namespace quenvara::uploader
