#include "uploader/transfer/server_conversation.h"

#include <algorithm>

#include <cerrno>
#include <optional>

#include "uploader/list/engine_gate.h"

namespace quenvara::uploader {
namespace {

namespace msg = transfer::msg;

// A quiet point of the gate for the length of a network wait, when there is
// a gate.
class QuietWait {
  public:
    explicit QuietWait(EngineGate* gate) {
        if (gate != nullptr) {
            quiet_.emplace(*gate);
        }
    }

  private:
    std::optional<EngineGate::Quiet> quiet_;
};

}  // namespace

ServerMessageName nameOf(std::int32_t type) {
    switch (type) {
        case msg::kClose:
            return ServerMessageName::Close;
        case msg::kCloseRequest:
            return ServerMessageName::CloseRequest;
        case msg::kLocation:
        case msg::kLocationMy:
            return ServerMessageName::Location;
        case msg::kFolderRegistered:
        case msg::kFolderRegisteredMy:
            return ServerMessageName::FolderRegistered;
        case msg::kRequestRecord:
        case msg::kRequestRecordMy:
            return ServerMessageName::RequestRecord;
        case msg::kResendRecord:
        case msg::kResendRecordMy:
            return ServerMessageName::ResendRecord;
        case msg::kPoll:
            return ServerMessageName::Poll;
        case msg::kAlreadyConnected:
            return ServerMessageName::AlreadyConnected;
        case msg::kRegisteredRecord:
            return ServerMessageName::RegisteredRecord;
        case msg::kSameName:
            return ServerMessageName::SameName;
        case msg::kDisconnected:
            return ServerMessageName::Disconnected;
        case msg::kRegisterError:
        case msg::kRegisterErrorMy:
            return ServerMessageName::RegisterError;
        case msg::kSendData:
        case msg::kSendDataMy:
            return ServerMessageName::SendData;
        default:
            return ServerMessageName::Unknown;
    }
}

bool ServerConversation::connect(platform::TcpConnector& connector, const std::string& address,
                                 int port, int& error,
                                 const platform::TcpConnector::Abandon& abandon) {
    close();
    std::unique_ptr<platform::TcpConnection> connection;
    {
        QuietWait quiet(gate_);
        connection = connector.connect(address, port, error, abandon);
    }
    if (!connection) {
        return false;
    }
    attach(std::move(connection));
    return true;
}

void ServerConversation::attach(std::unique_ptr<platform::TcpConnection> connection) {
    std::lock_guard lock(mutex_);
    connection_ = std::move(connection);
}

bool ServerConversation::isOpen() const {
    std::lock_guard lock(mutex_);
    return connection_ != nullptr;
}

void ServerConversation::close() {
    std::lock_guard lock(mutex_);
    connection_.reset();
}

void ServerConversation::interrupt() {
    std::lock_guard lock(mutex_);
    if (connection_) {
        connection_->shutdownBoth();
    }
}

bool ServerConversation::pending(std::chrono::milliseconds wait) const {
    // Without the lock, as receive(): interrupt() must reach the connection.
    return connection_ != nullptr && connection_->readable(wait);
}

void ServerConversation::waitForAcknowledgement(std::chrono::milliseconds limit) {
    if (!connection_) {
        return;
    }
    QuietWait quiet(gate_);
    const auto end = std::chrono::steady_clock::now() + limit;
    // The connection is only replaced on this thread; interrupt() ends it,
    // which ends the wait.
    while (connection_->unacknowledged() > 0 &&
           !connection_->readable(std::chrono::milliseconds{5}) &&
           std::chrono::steady_clock::now() < end) {
    }
}

int ServerConversation::lastError() const {
    std::lock_guard lock(mutex_);
    return connection_ ? connection_->lastError() : 0;
}

// The connection object is only replaced on this (the engine's) thread, so
// it is used here without the lock: interrupt() must reach it while a
// receive blocks.
long ServerConversation::receive(std::span<std::uint8_t> buffer) {
    if (!connection_) {
        return -1;
    }
    QuietWait quiet(gate_);
    return connection_->recvExact(buffer);
}

ServerMessage ServerConversation::next() {
    ServerMessage message;
    std::array<std::uint8_t, transfer::kHeaderSize> head{};
    const long got = receive(head);
    if (got != static_cast<long>(head.size())) {
        message.kind = got == 0 ? ServerMessage::Kind::Closed : ServerMessage::Kind::Broken;
        message.error = got == 0 ? 0 : (connection_ ? connection_->lastError() : ENOTCONN);
        return message;
    }
    message.header = transfer::PacketHeader::decode(head);
    if (message.header.status < 0) {
        std::array<std::uint8_t, transfer::kErrorTextSize> text{};
        if (receive(text) != static_cast<long>(text.size())) {
            message.kind = ServerMessage::Kind::CutShort;
            return message;
        }
        message.kind = ServerMessage::Kind::ErrorForm;
        message.text = transfer::errorText(text);
        return message;
    }
    auto length = transfer::bodyLength(message.header);
    if (!length) {
        // Nothing is allocated from a header we do not believe.
        message.kind = ServerMessage::Kind::Refused;
        message.text = length.error();
        return message;
    }
    message.body.resize(*length);
    if (!message.body.empty() && receive(message.body) != static_cast<long>(message.body.size())) {
        message.kind = ServerMessage::Kind::CutShort;
        message.body.clear();
        return message;
    }
    message.kind = ServerMessage::Kind::Packet;
    return message;
}

bool ServerConversation::send(std::int32_t type, std::span<const std::uint8_t> body) {
    if (!connection_) {
        return false;
    }
    const auto packet = transfer::encodePacket(type, body, registrant_);
    QuietWait quiet(gate_);
    return connection_->sendAll(packet) == static_cast<long>(packet.size());
}

long ServerConversation::unacknowledged() const {
    std::lock_guard lock(mutex_);
    if (!connection_) {
        return 0;
    }
    return std::max(0L, connection_->unacknowledged());
}

long ServerConversation::sendSome(std::span<const std::uint8_t> data) {
    if (!connection_) {
        return -1;
    }
    QuietWait quiet(gate_);
    return connection_->sendSome(data);
}

}  // namespace quenvara::uploader
