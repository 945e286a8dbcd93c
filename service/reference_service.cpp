#include "service/reference_service.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "common/cp949.h"
#include "protocol/job_records.h"
#include "protocol/packet.h"
#include "service/service_wire.h"

namespace quenvara::service {

using namespace wire;
using platform::TcpConnection;
namespace msg = transfer::msg;

ReferenceService::ReferenceService(Options options) : options_(std::move(options)) {}

ReferenceService::~ReferenceService() {
    stop();
}

bool ReferenceService::listen(Server& server, int port, std::string& error, int receiveBuffer) {
    auto l = platform::TcpListener::listen(options_.address, port, receiveBuffer);
    if (!l) {
        error = l.error();
        return false;
    }
    server.listener = std::make_unique<platform::TcpListener>(std::move(*l));
    return true;
}

bool ReferenceService::start(std::string& error) {
    if (options_.faults.folderRoot.size() > 511) {
        error = "the folder root takes at most 511 bytes";
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(options_.storage, ec);
    if (ec) {
        error = options_.storage.string() + ": " + ec.message();
        return false;
    }
    // Content ids go on from those already stored, so a new file never
    // lands on an old one's bytes.
    for (const auto& entry : std::filesystem::directory_iterator(options_.storage, ec)) {
        const auto name = entry.path().filename().string();
        if (name.size() == 5 && name[0] == 'C') {
            nextContentId_ = std::max(nextContentId_, std::atoi(name.c_str() + 1) + 1);
        }
    }
    if (!listen(uploadData_, 0, error, options_.receiveBuffer) ||
        !listen(myData_, 0, error, options_.receiveBuffer)) {
        return false;
    }
    uploadDataPort_ = uploadData_.listener->port();
    myDataPort_ = myData_.listener->port();
    if (options_.faults.refuseSeconds > 0 && options_.commandPort == 0) {
        error = "a refusal delay needs a fixed command port";
        return false;
    }
    if (options_.faults.refuseSeconds == 0) {
        if (!listen(command_, options_.commandPort, error)) {
            return false;
        }
        commandPort_ = command_.listener->port();
        command_.acceptor = std::thread([this] { serve(command_, kRoleCommand); });
    } else {
        commandPort_ = options_.commandPort;
        command_.acceptor = std::thread([this] {
            for (int i = 0; i < options_.faults.refuseSeconds * 10 && !stopping_; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            std::string e;
            if (!stopping_ && listen(command_, options_.commandPort, e)) {
                serve(command_, kRoleCommand);
            }
        });
    }
    uploadData_.acceptor = std::thread([this] { serve(uploadData_, kRoleUploadData); });
    myData_.acceptor = std::thread([this] { serve(myData_, kRoleMyData); });
    return true;
}

void ReferenceService::stop() {
    if (stopping_.exchange(true)) {
        return;
    }
    for (Server* s : {&command_, &uploadData_, &myData_}) {
        if (s->listener) {
            s->listener->interrupt();
        }
    }
    {
        std::lock_guard lock(mutex_);
        for (auto& c : open_) {
            c->shutdownBoth();
        }
    }
    for (Server* s : {&command_, &uploadData_, &myData_}) {
        if (s->acceptor.joinable()) {
            s->acceptor.join();
        }
        // Closed, so that a client is refused rather than left waiting in
        // the backlog of a service that no longer answers.
        s->listener.reset();
    }
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(mutex_);
        workers.swap(workers_);
    }
    for (auto& w : workers) {
        w.join();
    }
}

void ReferenceService::serve(Server& server, int role) {
    while (!stopping_) {
        auto accepted = server.listener->accept();
        if (!accepted) {
            return;
        }
        std::shared_ptr<TcpConnection> conn = std::move(*accepted);
        std::lock_guard lock(mutex_);
        if (stopping_) {
            return;
        }
        open_.push_back(conn);
        workers_.emplace_back([this, conn, role] {
            converse(*conn, role);
            conn->shutdownBoth();
            std::lock_guard done(mutex_);
            std::erase(open_, conn);
        });
    }
}

void ReferenceService::converse(TcpConnection& conn, int role) {
    auto opening = readPacket(conn);
    if (!opening) {
        return;
    }
    const auto type = opening->header.type;
    {
        std::lock_guard lock(mutex_);
        ++conversations_[type];
        openingRegistrants_.push_back(opening->header.registrant);
        if (type == msg::kLocate) {
            locateBodies_.push_back(opening->body);
        }
    }
    if (role == kRoleCommand && (type == msg::kLocate || type == msg::kLocateMy)) {
        commandConversation(conn, type, opening->body);
    } else if (role != kRoleCommand && type == msg::kRegisterFolder) {
        folderRegistration(conn, 4, std::move(opening->body));
    } else if (role != kRoleCommand && type == msg::kRegisterFolderMy) {
        folderRegistration(conn, 3, std::move(opening->body));
    } else if (role != kRoleCommand && type == msg::kStart) {
        uploadConversation(conn, role);
    }
}

void ReferenceService::commandConversation(TcpConnection& conn, std::int32_t opening,
                                           const std::vector<std::uint8_t>&) {
    transfer::Location location;
    {
        std::lock_guard lock(mutex_);
        if (unansweredLocates_ < options_.faults.unansweredLocates) {
            ++unansweredLocates_;
            return;  // closed without the location
        }
        char id[16];
        std::snprintf(id, sizeof id, "C%04d", nextContentId_++ % 10000);  // 5 characters at most
        location.contentId = id;
    }
    location.dataServerAddress = options_.address;
    location.dataServerPort = opening == msg::kLocate ? uploadDataPort_ : myDataPort_;
    location.serverFolderPath = !options_.faults.folderRoot.empty() ? options_.faults.folderRoot
                                : opening == msg::kLocate           ? "/contents"
                                                                    : "/mine";
    auto body = transfer::encodeLocation(location);
    if (const auto& id = options_.faults.contentId; !id.empty()) {
        // The whole 6-byte slot, without the terminator the tables ask for.
        std::fill_n(body.begin(), 6, 0);
        std::copy_n(id.begin(), std::min<std::size_t>(id.size(), 6), body.begin());
    }
    if (!send(conn, opening, body)) {
        return;
    }
    readPacket(conn);  // the uploader's 5
}

void ReferenceService::folderRegistration(TcpConnection& conn, int kind,
                                          std::vector<std::uint8_t> body) {
    std::string group;
    {
        std::lock_guard lock(mutex_);
        if (unansweredRegistrations_ < options_.faults.unansweredRegistrations) {
            ++unansweredRegistrations_;
            return;  // closed without the group
        }
        group = "grp" + std::to_string(nextGroup_++);
    }
    const std::string root =
        options_.faults.folderRoot.empty() ? "/folders" : options_.faults.folderRoot;
    const auto answer = [&](auto record) {
        // The service's own texts fit their fields (a folder root is at
        // most 511 bytes, as start() checks).
        auto values = record.userValues();
        (void)values.setFolderGroupTextBytes(group);
        record.setUserValues(values);
        (void)record.setServerFolderPathBytes(root);
        (void)record.setDataServerAddressBytes(options_.address);
        record.setDataServerPort(dataPort(kind));
        return send(conn, kind == 4 ? msg::kFolderRegistered : msg::kFolderRegisteredMy,
                    record.bytes());
    };
    bool sent = false;
    if (kind == 4) {
        if (auto r = UploadJobRecord::fromBytes(body)) {
            sent = answer(*r);
        }
    } else if (auto r = MyStorageJobRecord::fromBytes(body)) {
        sent = answer(*r);
    }
    if (sent) {
        readPacket(conn);
    }
}

void ReferenceService::protocolError(std::string text) {
    std::lock_guard lock(mutex_);
    protocolErrors_.push_back(std::move(text));
}

bool ReferenceService::expectAnswer(TcpConnection& conn, std::int32_t wanted, std::int32_t after) {
    auto answer = readPacket(conn);
    if (!answer) {
        protocolError("no answer to " + std::to_string(after));
        return false;
    }
    if (answer->header.type != wanted) {
        protocolError(std::to_string(answer->header.type) + " in answer to " +
                      std::to_string(after) + ", not " + std::to_string(wanted));
        return false;
    }
    return true;
}

bool ReferenceService::takeOnce(bool& used) {
    std::lock_guard lock(mutex_);
    if (used) {
        return false;
    }
    used = true;
    return true;
}

std::vector<StoredFile> ReferenceService::stored() const {
    std::lock_guard lock(mutex_);
    return stored_;
}

int ReferenceService::conversations(int opening) const {
    std::lock_guard lock(mutex_);
    auto it = conversations_.find(opening);
    return it == conversations_.end() ? 0 : it->second;
}

std::vector<std::vector<std::uint8_t>> ReferenceService::receivedRecords() const {
    std::lock_guard lock(mutex_);
    return records_;
}

std::vector<std::string> ReferenceService::protocolErrors() const {
    std::lock_guard lock(mutex_);
    return protocolErrors_;
}

std::vector<std::array<std::uint8_t, 12>> ReferenceService::openingRegistrants() const {
    std::lock_guard lock(mutex_);
    return openingRegistrants_;
}

std::vector<std::vector<std::uint8_t>> ReferenceService::locateBodies() const {
    std::lock_guard lock(mutex_);
    return locateBodies_;
}

int ReferenceService::multiFileConversations() const {
    std::lock_guard lock(mutex_);
    return multiFile_;
}

}  // namespace quenvara::service
