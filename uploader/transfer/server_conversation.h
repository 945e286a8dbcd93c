#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "platform/tcp.h"
#include "protocol/packet.h"

namespace quenvara::uploader {

class EngineGate;

// The server messages the uploader knows, by what they mean; the upload and
// my-storage families share a name where they mean the same.
enum class ServerMessageName {
    Close,             // 5
    CloseRequest,      // 203
    Location,          // 1001, 1101
    FolderRegistered,  // 518, 2001
    RequestRecord,     // 503, 2006
    ResendRecord,      // 507, 2004
    Poll,              // 505
    AlreadyConnected,  // 506
    RegisteredRecord,  // 508
    SameName,          // 509
    Disconnected,      // 514
    RegisterError,     // 517, 2005
    SendData,          // 501, 2003
    Unknown,
};
ServerMessageName nameOf(std::int32_t type);

// What the server said next.
struct ServerMessage {
    enum class Kind {
        Packet,     // a header and its whole body
        ErrorForm,  // a header with a negative status and its 256-byte text
        Closed,     // an orderly close before the next header
        Broken,     // a reset, a failure, or a close inside a header
        CutShort,   // the header came; its body or error text did not
        Refused,    // the header announces a body this protocol never has
    };
    Kind kind = Kind::Closed;
    transfer::PacketHeader header;
    std::vector<std::uint8_t> body;
    // The error form's text as the server's bytes, or why a header was refused.
    std::string text;
    // errno of a broken connection.
    int error = 0;

    ServerMessageName name() const { return nameOf(header.type); }
};

// One connection to a command or data server: the packets out, with the
// registrant in every header, and the server's messages in. Every network
// wait is a quiet point of the engine gate, so the window never waits on it.
class ServerConversation {
  public:
    explicit ServerConversation(const std::array<std::uint8_t, 12>& registrant,
                                EngineGate* gate = nullptr)
        : registrant_(registrant), gate_(gate) {}

    // One attempt, within the connector's time limit; `abandon` gives up early.
    bool connect(platform::TcpConnector& connector, const std::string& address, int port,
                 int& error, const platform::TcpConnector::Abandon& abandon);
    // A connection made elsewhere (tests hand one end of a socket pair).
    void attach(std::unique_ptr<platform::TcpConnection> connection);
    bool isOpen() const;
    void close();
    // From any thread: a blocked send or receive returns.
    void interrupt();

    ServerMessage next();
    // The server has said something not read yet (or says it within
    // `wait`): next() would not wait.
    bool pending(std::chrono::milliseconds wait = std::chrono::milliseconds{0}) const;
    // Waits, at most `limit`, until the server's side has taken every byte
    // sent, the server says something, or the connection ends: what it said
    // before then was sent before it had the bytes.
    void waitForAcknowledgement(std::chrono::milliseconds limit);
    // The whole packet went out.
    bool send(std::int32_t type, std::span<const std::uint8_t> body = {});
    // Part of a file's bytes: the count sent, 0 when the peer is gone, -1 on
    // failure.
    long sendSome(std::span<const std::uint8_t> data);
    int lastError() const;
    // File bytes sent that the server has not acknowledged yet; 0 when
    // unknown.
    long unacknowledged() const;

  private:
    long receive(std::span<std::uint8_t> buffer);

    std::array<std::uint8_t, 12> registrant_;
    EngineGate* gate_;
    // Replaced on the engine's thread, shut down from another by interrupt().
    mutable std::mutex mutex_;
    std::unique_ptr<platform::TcpConnection> connection_;
};

}  // namespace quenvara::uploader
