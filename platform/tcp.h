#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "platform/local_pipe.h"
#include "platform/result.h"

// Plain IPv4 TCP, blocking, as the packet protocol uses it.
namespace quenvara::platform {

class TcpConnection {
  public:
    explicit TcpConnection(UniqueFd fd);
    virtual ~TcpConnection();

    // All bytes, in as many sends as it takes: the count, 0 when the peer
    // closed, -1 on failure (see lastError()).
    virtual long sendAll(std::span<const std::uint8_t> data);
    // One send of at most data.size() bytes, for progress-counted data.
    virtual long sendSome(std::span<const std::uint8_t> data);
    // Exactly buffer.size() bytes: the count, 0 when the peer closed before
    // the first byte, -1 on failure, time-out or a close after part of it.
    virtual long recvExact(std::span<std::uint8_t> buffer);
    int lastError() const { return lastError_; }
    // For a TLS layer on top.
    int nativeHandle() const { return fd_.get(); }
    void shutdownBoth();
    // Sends FIN and goes on reading: an orderly close from this side.
    void shutdownWrite();
    // Bytes sent that the peer has not acknowledged yet (still in this
    // side's send queue); -1 when the system cannot tell.
    virtual long unacknowledged() const;
    // The peer has sent something not read yet (bytes, or its close), told
    // at once or within `timeout`.
    virtual bool readable(std::chrono::milliseconds timeout = std::chrono::milliseconds{0}) const;
    // Ends the connection with a reset, as a broken network would, instead
    // of an orderly close.
    void abort();

  private:
    UniqueFd fd_;
    int lastError_ = 0;
    // shutdownBoth() may come from another thread than abort().
    std::mutex closeMutex_;
    // Set by shutdownBoth(): where the system does not wake a receive
    // blocked in another thread (Windows), the receive looks at it.
    std::atomic<bool> shutDown_{false};
};

// The dotted address text the way inet_addr reads it: "127.1" and a
// trailing blank are accepted. Null when the text is no IPv4 address.
std::optional<std::uint32_t> ipv4Address(const std::string& text);

// The error says no socket could be made at all (out of descriptors or
// memory), as opposed to a connection that was refused or timed out.
bool isSocketCreationError(int error);

class TcpConnector {
  public:
    // Asked every few milliseconds while a connect is pending: true gives up.
    using Abandon = std::function<bool()>;
    virtual ~TcpConnector() = default;
    // Null with the errno in `error` when the connection cannot be made
    // (ETIMEDOUT after the connector's time limit, ECANCELED when abandoned).
    virtual std::unique_ptr<TcpConnection> connect(const std::string& address, int port, int& error,
                                                   const Abandon& abandon = {}) = 0;
};

class PosixTcpConnector final : public TcpConnector {
  public:
    // An address that drops packets costs this long per attempt, not the
    // system's two minutes.
    static constexpr std::chrono::milliseconds kDefaultTimeout{3000};
    explicit PosixTcpConnector(std::chrono::milliseconds timeout = kDefaultTimeout)
        : timeout_(timeout) {}
    std::unique_ptr<TcpConnection> connect(const std::string& address, int port, int& error,
                                           const Abandon& abandon = {}) override;

  private:
    std::chrono::milliseconds timeout_;
};

// A listening socket for the reference service and tests.
class TcpListener {
  public:
    // Port 0 takes an ephemeral port. A receive buffer above 0 fixes the
    // accepted connections' buffer at that size (no automatic growth).
    static Result<TcpListener> listen(const std::string& address, int port, int receiveBuffer = 0);
    TcpListener(TcpListener&&) noexcept = default;
    TcpListener& operator=(TcpListener&& other) noexcept;
    ~TcpListener();
    int port() const { return port_; }
    // Waits for a client; fails after interrupt().
    Result<std::unique_ptr<TcpConnection>> accept();
    void interrupt();

  private:
    TcpListener(UniqueFd socket, UniqueFd wake, int port);
    UniqueFd socket_;
    UniqueFd wake_;
    int port_ = 0;
};

}  // namespace quenvara::platform
