#include "uploader/handover/overlapped_name_pipe_server.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace quenvara::uploader {

COverlappedNamePipeServer::COverlappedNamePipeServer(Options options, Deliver deliver,
                                                     platform::Notices& notices,
                                                     platform::Clock& clock)
    : options_(std::move(options)),
      deliver_(std::move(deliver)),
      notices_(notices),
      clock_(clock) {}

COverlappedNamePipeServer::~COverlappedNamePipeServer() {
    stop();
}

void COverlappedNamePipeServer::start() {
    frame_.assign(handover::kFrameSize, 0);
    thread_ = std::thread([this] { serveLoop(); });
}

void COverlappedNamePipeServer::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        if (listener_) {
            listener_->interrupt();
        }
    }
    stateChanged_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool COverlappedNamePipeServer::waitUntilListening(platform::Millis timeout) {
    std::unique_lock lock(mutex_);
    stateChanged_.wait_for(lock, timeout, [&] { return listener_ || gaveUp_ || stopping_; });
    return listener_.has_value();
}

bool COverlappedNamePipeServer::createListener() {
    std::string lastError;
    for (int attempt = 0; attempt < options_.createAttempts; ++attempt) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) {
                return false;
            }
        }
        auto dir = platform::ensurePrivateDirectory(options_.socketPath.parent_path());
        if (dir) {
            auto l = platform::LocalPipeListener::listen(options_.socketPath);
            if (l) {
                std::lock_guard lock(mutex_);
                listener_.emplace(std::move(*l));
                if (stopping_) {
                    listener_->interrupt();
                }
                stateChanged_.notify_all();
                return true;
            }
            lastError = l.error();
        } else {
            lastError = dir.error();
        }
        clock_.sleepFor(options_.createRetryDelay);
    }
    notices_.show(std::string(kPipeCreateErrorText) + "\n(" + lastError + ")");
    std::lock_guard lock(mutex_);
    gaveUp_ = true;
    stateChanged_.notify_all();
    return false;
}

void COverlappedNamePipeServer::serveLoop() {
    if (!createListener()) {
        return;
    }
    for (;;) {
        auto client = listener_->accept();
        if (!client) {
            std::lock_guard lock(mutex_);
            if (stopping_) {
                break;
            }
            // A failed accept concerns that client only; pause so that a
            // lasting failure (out of descriptors) does not spin.
            clock_.sleepFor(platform::Millis{100});
            continue;
        }
        serveClient(*client);
    }
    std::lock_guard lock(mutex_);
    listener_.reset();
}

void COverlappedNamePipeServer::refuse(std::string_view detail) {
    ++refused_;
    notices_.show(std::string(kListTransferErrorText) + "\n(" + std::string(detail) + ")");
}

void COverlappedNamePipeServer::serveClient(platform::LocalPipeConnection& client) {
    const long peer = client.peerUid();
    if (peer != options_.allowedUid) {
        refuse("connection from user id " + std::to_string(peer) + " refused");
        return;
    }
    std::fill(frame_.begin(), frame_.end(), std::uint8_t{0});
    const auto got = client.readFull(frame_, options_.frameTimeout);
    if (!got.complete(frame_.size())) {
        if (got.error != 0) {
            refuse(std::string("read failed: ") + std::strerror(got.error));
        } else if (got.timedOut) {
            refuse("no whole frame within " + std::to_string(options_.frameTimeout.count()) +
                   " ms, " + std::to_string(got.transferred) + " of 1048584 bytes arrived");
        } else {
            refuse("connection closed after " + std::to_string(got.transferred) +
                   " of 1048584 bytes");
        }
        return;
    }
    auto message = handover::decodeFrame(frame_);
    if (!message) {
        refuse(message.error());
        return;
    }
    if (auto handled = deliver_(*message); !handled) {
        refuse(handled.error());
        return;
    }
    ++delivered_;
    const std::vector<std::uint8_t> ack(handover::kAckSize, 0);
    // A client gone before the acknowledgement has its message all the same.
    client.writeAll(ack);
}

}  // namespace quenvara::uploader
