#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "uploader/transfer/transfer_thread.h"
#include "uploader/transfer/upload_session.h"

namespace quenvara::uploader {

// The transfer thread: runs one upload run (mode 512) or one folder
// expansion (518, 2001) and ends.
class CFileSocket final : public TransferThread {
  public:
    CFileSocket(int mode, std::string registrant, EngineOperations& window,
                TransferServices services);
    ~CFileSocket() override;

    bool finished() const override { return finished_; }
    void join() override;
    void interrupt() override;

    // A factory for TransferSession that starts CFileSocket threads.
    static TransferThreadFactory factory(TransferServices services);

  private:
    void run();
    void expandFolder();
    template <class Record>
    void addExpanded(const std::optional<Record>& folderItem);

    int mode_;
    std::string registrant_;
    EngineOperations& window_;
    TransferServices services_;
    std::atomic<bool> finished_{false};
    std::mutex sessionMutex_;
    UploadSession* session_ = nullptr;  // while a run goes on
    std::thread thread_;
};

}  // namespace quenvara::uploader
