#pragma once

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/clock.h"
#include "platform/local_pipe.h"
#include "platform/notices.h"
#include "platform/result.h"
#include "protocol/list_message.h"

namespace quenvara::uploader {

inline constexpr std::string_view kPipeCreateErrorText =
    "다운로드 파이프 생성 오류입니다.\n프로그램을 종료 후 다시 시작해주세요";
inline constexpr std::string_view kListTransferErrorText = "데이터 목록내용 전송 오류입니다";

// The uploader's hand-over server thread: accepts one client at a time,
// reads one whole frame, hands the message synchronously to the window and
// acknowledges it. A bad client is reported and dropped; the server goes on
// with the next one.
class COverlappedNamePipeServer {
  public:
    // Delivers a message to the window and returns after the window handled
    // it; a failure (message refused, window gone) is reported to the client
    // by withholding the acknowledgement.
    using Deliver = std::function<Status(const handover::ListMessage&)>;

    struct Options {
        std::filesystem::path socketPath;
        long allowedUid = platform::currentUserId();
        // A client that holds the connection without sending a whole frame
        // is dropped after this long, so it cannot block the hand-over.
        platform::Millis frameTimeout{10'000};
        int createAttempts = 30;
        platform::Millis createRetryDelay{1000};
    };

    COverlappedNamePipeServer(Options options, Deliver deliver, platform::Notices& notices,
                              platform::Clock& clock);
    ~COverlappedNamePipeServer();
    COverlappedNamePipeServer(const COverlappedNamePipeServer&) = delete;
    COverlappedNamePipeServer& operator=(const COverlappedNamePipeServer&) = delete;

    void start();
    // Ends the serve loop and joins the thread.
    void stop();

    // Waits (real time, bounded) until the socket listens or the loop gave up.
    bool waitUntilListening(platform::Millis timeout);
    std::size_t messagesDelivered() const { return delivered_; }
    std::size_t connectionsRefused() const { return refused_; }

  private:
    void serveLoop();
    bool createListener();
    void serveClient(platform::LocalPipeConnection& client);
    void refuse(std::string_view detail);

    Options options_;
    Deliver deliver_;
    platform::Notices& notices_;
    platform::Clock& clock_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable stateChanged_;
    std::optional<platform::LocalPipeListener> listener_;
    bool stopping_ = false;
    bool gaveUp_ = false;
    std::vector<std::uint8_t> frame_;  // the receive buffer, owned by the thread object
    std::atomic<std::size_t> delivered_{0};
    std::atomic<std::size_t> refused_{0};
};

}  // namespace quenvara::uploader
