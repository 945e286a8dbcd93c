// A data server that plays scripts written straight from the message tables,
// one script per connection, for answers the reference service never gives
// (a body cut short, a server that stalls, a close request that stays open).
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/tcp.h"
#include "protocol/packet.h"

namespace quenvara::uploader::testing_transfer {

class ScriptedServer {
  public:
    using Step = std::function<bool(platform::TcpConnection&)>;
    using Script = std::vector<Step>;

    // Connection i plays scripts[i]; once they run out the last one repeats.
    explicit ScriptedServer(std::vector<Script> scripts)
        : scripts_(std::move(scripts)),
          listener_(std::move(*platform::TcpListener::listen("127.0.0.1", 0))) {
        thread_ = std::thread([this] { serve(); });
    }
    ~ScriptedServer() { stop(); }

    int port() const { return listener_.port(); }
    int connections() const { return connections_; }
    // Ends every open connection in order and stops listening.
    void stop() {
        if (stopping_.exchange(true)) {
            return;
        }
        listener_.interrupt();
        {
            std::lock_guard lock(mutex_);
            for (auto* c : open_) {
                c->shutdownBoth();
            }
        }
        thread_.join();
    }

    // ---- steps ----

    static Step expect(std::int32_t type, std::vector<std::uint8_t>* body = nullptr) {
        return [type, body](platform::TcpConnection& c) {
            std::array<std::uint8_t, transfer::kHeaderSize> head{};
            if (c.recvExact(head) != static_cast<long>(head.size())) {
                ADD_FAILURE() << "no packet where " << type << " was expected";
                return false;
            }
            const auto h = transfer::PacketHeader::decode(head);
            std::vector<std::uint8_t> bytes(*transfer::bodyLength(h));
            if (!bytes.empty() && c.recvExact(bytes) != static_cast<long>(bytes.size())) {
                return false;
            }
            EXPECT_EQ(h.type, type);
            if (body != nullptr) {
                *body = std::move(bytes);
            }
            return h.type == type;
        };
    }
    static Step send(std::int32_t type, std::vector<std::uint8_t> body = {}) {
        return [type, body](platform::TcpConnection& c) {
            const auto packet = transfer::encodePacket(type, body, {});
            return c.sendAll(packet) == static_cast<long>(packet.size());
        };
    }
    // A header announcing `announced` body bytes followed by only `sent`.
    static Step sendCut(std::int32_t type, std::int32_t announced, std::size_t sent) {
        return [=](platform::TcpConnection& c) {
            const auto head = transfer::PacketHeader{type, 1, announced, 0, {}}.encode();
            const std::vector<std::uint8_t> part(sent, 0);
            return c.sendAll(head) == static_cast<long>(head.size()) && c.sendAll(part) >= 0;
        };
    }
    static Step readData(std::size_t bytes) {
        return [bytes](platform::TcpConnection& c) {
            std::vector<std::uint8_t> data(bytes);
            return bytes == 0 || c.recvExact(data) == static_cast<long>(bytes);
        };
    }
    static Step reset() {
        return [](platform::TcpConnection& c) {
            c.abort();
            return false;
        };
    }
    // Keeps the connection open, saying nothing, until the client or stop()
    // ends it.
    static Step stall() {
        return [](platform::TcpConnection& c) {
            std::array<std::uint8_t, 1> byte{};
            while (c.recvExact(byte) > 0) {
            }
            return false;
        };
    }

    // Says nothing until `go` is set, then ends the connection in order.
    static Step waitFor(const std::atomic<bool>& go) {
        return [&go](platform::TcpConnection&) {
            while (!go) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            return false;
        };
    }

  private:
    void serve() {
        for (std::size_t i = 0; !stopping_; ++i) {
            auto accepted = listener_.accept();
            if (!accepted) {
                return;
            }
            auto conn = std::move(*accepted);
            {
                std::lock_guard lock(mutex_);
                open_.push_back(conn.get());
            }
            ++connections_;
            const auto& script = scripts_[std::min(i, scripts_.size() - 1)];
            for (const auto& step : script) {
                if (stopping_ || !step(*conn)) {
                    break;
                }
            }
            {
                std::lock_guard lock(mutex_);
                std::erase(open_, conn.get());
            }
            conn->shutdownBoth();
        }
    }

    std::vector<Script> scripts_;
    platform::TcpListener listener_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    std::mutex mutex_;
    std::vector<platform::TcpConnection*> open_;
};

}  // namespace quenvara::uploader::testing_transfer
