#include "uploader/app/upload_main_window.h"

#include <variant>

#include "common/cp949.h"
#include "common/size_text.h"

namespace quenvara::uploader {

UploadMainWindow::UploadMainWindow(platform::Notices& notices, std::ostream& out)
    : notices_(notices), out_(out) {}

Status UploadMainWindow::onCopyData(const handover::ListMessage& message) {
    if (!listViewCreated_) {
        notices_.show(kListHandleMissingText);
        return Status::failure(std::string(kListHandleMissingText));
    }
    auto item = handover::interpret(message);
    if (!item) {
        return Status::failure(item.error());
    }
    handOverBusy_ = true;
    std::visit([this](auto&& received) { receive(std::move(received)); }, std::move(*item));
    handOverBusy_ = false;
    return {};
}

void UploadMainWindow::receive(const handover::ServerAddress& address) {
    serverAddress_ = address.address;
    serverPort_ = address.port;
    out_ << "hand-over: command server " << serverAddress_ << " port " << serverPort_ << std::endl;
}

void UploadMainWindow::receive(handover::MusicList list) {
    musicList_ = std::move(list.entries);
    musicListReceived_ = true;
    out_ << "hand-over: music list, " << musicList_.size() << " entries" << std::endl;
    for (const auto& e : musicList_) {
        out_ << "  " << (e.musicChecked() ? e.musicChecked() : '-') << ' '
             << (e.secondFlag() ? e.secondFlag() : '-') << ' ' << cp949::toUtf8(e.baseNameBytes())
             << std::endl;
    }
}

void UploadMainWindow::receive(const UploadJobRecord& record) {
    uploadRecords_.push_back(record);
    const auto values = record.userValues();
    out_ << "hand-over: upload job " << (record.itemKind() == 1 ? "folder " : "file ")
         << record.localPath() << " (" << sizeText(record.itemSize()) << ", section "
         << values.sectionCode() << ", registrant " << values.registrantName() << ")" << std::endl;
}

void UploadMainWindow::receive(const MyStorageJobRecord& record) {
    myStorageRecords_.push_back(record);
    out_ << "hand-over: my-storage job " << (record.itemKind() == 1 ? "folder " : "file ")
         << record.localPath() << " (" << sizeText(record.itemSize()) << ", registrant "
         << record.userValues().registrantName() << ")" << std::endl;
}

}  // namespace quenvara::uploader
