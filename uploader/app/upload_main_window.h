#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "common/job_records.h"
#include "common/list_message.h"
#include "common/result.h"
#include "platform/notices.h"

namespace quenvara::uploader {

inline constexpr std::string_view kListHandleMissingText = "List 핸들을 찾을 수 없습니다.";

// The main window's hand-over side: what arrives through WM_COPYDATA. For
// now the received items are kept and printed; the upload list takes them
// over once it exists.
class UploadMainWindow {
  public:
    UploadMainWindow(platform::Notices& notices, std::ostream& out);

    // WM_COPYDATA: runs on the window thread. Refuses a message whose kind
    // or length this protocol does not have.
    Status onCopyData(const handover::ListMessage& message);

    void setListViewCreated(bool created) { listViewCreated_ = created; }

    const std::string& serverAddress() const { return serverAddress_; }
    std::int32_t serverPort() const { return serverPort_; }
    const std::vector<handover::MusicListEntry>& musicList() const { return musicList_; }
    bool musicListReceived() const { return musicListReceived_; }
    const std::vector<UploadJobRecord>& uploadRecords() const { return uploadRecords_; }
    const std::vector<MyStorageJobRecord>& myStorageRecords() const { return myStorageRecords_; }
    bool handOverBusy() const { return handOverBusy_; }

  private:
    void receive(const handover::ServerAddress& address);
    void receive(handover::MusicList list);
    void receive(const UploadJobRecord& record);
    void receive(const MyStorageJobRecord& record);

    platform::Notices& notices_;
    std::ostream& out_;
    bool listViewCreated_ = true;
    bool handOverBusy_ = false;
    std::string serverAddress_;
    std::int32_t serverPort_ = 0;
    std::vector<handover::MusicListEntry> musicList_;
    bool musicListReceived_ = false;
    std::vector<UploadJobRecord> uploadRecords_;
    std::vector<MyStorageJobRecord> myStorageRecords_;
};

}  // namespace quenvara::uploader
