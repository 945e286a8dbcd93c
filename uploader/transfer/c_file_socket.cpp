#include "uploader/transfer/c_file_socket.h"

#include <cstdio>

#include "common/file_digest.h"
#include "uploader/list/file_list_view.h"
#include "uploader/transfer/engine_display.h"
#include "uploader/transfer/folder_expansion.h"

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

void CFileSocket::interrupt() {
    std::lock_guard lock(sessionMutex_);
    if (session_ != nullptr) {
        session_->interrupt();
    }
}

void CFileSocket::run() {
    if (mode_ == transfer_mode::kUploadRun) {
        UploadSession session(window_, services_, registrant_);
        {
            std::lock_guard lock(sessionMutex_);
            session_ = &session;
        }
        session.run();
        std::lock_guard lock(sessionMutex_);
        session_ = nullptr;
    } else {
        expandFolder();
    }
    finished_ = true;
}

template <class Record>
void CFileSocket::addExpanded(const std::optional<Record>& folderItem) {
    if (!folderItem) {
        return;
    }
    FolderExpansion expansion(fileDigest, [this](const std::string& text) {
        services_.notices.messageBox(text, "", platform::NoticeButtons::Ok,
                                     platform::NoticeIcon::Stop);
    });
    auto outcome = expansion.expand(*folderItem);
    auto& list = window_.list();
    constexpr int kind = std::is_same_v<Record, UploadJobRecord> ? 4 : 3;
    if (!outcome.failure.empty()) {
        list.addRefusedRow(kind, folderItem->folderName(), folderItem->parentFolder(),
                           folderItem->itemSize(), outcome.failure);
        return;
    }
    if (outcome.refused) {
        services_.notices.autoClosingBox(kTooManyFilesText, "", 5);
        auto guard = list.lock();
        const int row = list.currentRow();
        if (row >= 0 && row < list.rowCount()) {
            list.setText(row, CFileListView::kStatusText, std::string(kTooManyFilesText));
        }
        return;
    }
    // The files of this folder item are one job: its folder group.
    const std::uint64_t job = list.newJob();
    for (std::size_t i = 0; i < outcome.records.size(); ++i) {
        const auto& record = outcome.records[i];
        RowOrigin origin{folderItem->folderPath(), outcome.modified[i]};
        std::optional<int> row;
        if constexpr (std::is_same_v<Record, UploadJobRecord>) {
            row = list.addUploadRecord(record, job, std::move(origin));
        } else {
            row = list.addMyStorageRecord(record, job, std::move(origin));
        }
        if (row) {
            window_.addTotalBytes(record.itemSize());
        }
    }
    // Files that cannot be sent are listed too, each with its reason, after
    // the group (they are no part of it).
    for (const auto& file : outcome.leftOut) {
        list.addRefusedRow(kind, file.name, file.location, file.size, file.reason);
    }
}

void CFileSocket::expandFolder() {
    if (mode_ == transfer_mode::kUploadFolderExpansion) {
        addExpanded(window_.pendingUploadFolder());
    } else {
        addExpanded(window_.pendingMyStorageFolder());
    }
    window_.closeFolderWaitDialog();
    if (window_.display().text(Display::PathBox).empty() && window_.activeFlag() == 0 &&
        window_.startedFlag() == 0) {
        window_.scheduleAutoStart(std::chrono::milliseconds{1000});
    }
}

TransferThreadFactory CFileSocket::factory(TransferServices services) {
    return [services](int mode, const std::string& registrant, EngineOperations& window) {
        return std::make_unique<CFileSocket>(mode, registrant, window, services);
    };
}

}  // namespace quenvara::uploader
