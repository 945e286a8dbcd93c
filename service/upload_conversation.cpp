// The data server's upload conversation: records, resume offsets, the
// file data, and the faults it can be told to inject.
#include "service/reference_service.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <thread>

#include "common/cp949.h"
#include "protocol/job_records.h"
#include "protocol/packet.h"
#include "service/service_wire.h"

namespace quenvara::service {

using namespace wire;
using platform::TcpConnection;
namespace msg = transfer::msg;
using namespace std::chrono_literals;

bool ReferenceService::firstFor(const std::string& what, const std::string& name) {
    std::lock_guard lock(mutex_);
    return onceDone_.insert(what + "\n" + name).second;
}

bool ReferenceService::receiveData(TcpConnection& conn, const std::string& name,
                                   const std::filesystem::path& path, std::uint64_t held,
                                   std::uint64_t size, double& seconds, bool& polled) {
    const auto& f = options_.faults;
    std::fstream out;
    if (!options_.discard) {
        out.open(path, std::ios::binary | std::ios::in | std::ios::out);
        out.seekp(static_cast<std::streamoff>(held));
    }
    std::uint64_t remaining = size - held;
    std::optional<Faults::Cut> cut;
    if (f.dropAfterBytes != 0 && (f.dropName.empty() || f.dropName == name)) {
        std::lock_guard lock(mutex_);
        if (!dropped_.contains(name)) {
            dropped_.insert(name);
            cut = Faults::Cut{name, f.dropAfterBytes, false};
        }
    }
    for (const auto& c : f.cuts) {
        if (!cut && c.name == name && firstFor("cut", name)) {
            cut = c;
        }
    }
    std::uint64_t pollAt = 0;
    if (f.pollDuringData != 0 && f.pollDuringData < remaining && firstFor("poll", name)) {
        pollAt = f.pollDuringData;
    }
    std::vector<std::uint8_t> buffer(64 * 1024);
    std::uint64_t received = 0;
    const auto began = std::chrono::steady_clock::now();
    while (remaining > 0) {
        auto want = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, buffer.size()));
        if (cut) {
            if (received >= cut->at) {
                {
                    std::lock_guard lock(mutex_);
                    brokeSinceErrorForm_ = true;
                }
                if (!cut->orderly) {
                    conn.abort();  // the injected break: no orderly close
                    return false;
                }
                // FIN, then the rest is read and thrown away.
                conn.shutdownWrite();
                while (conn.recvExact({buffer.data(), 1}) > 0) {
                }
                return false;
            }
            want = static_cast<std::size_t>(std::min<std::uint64_t>(want, cut->at - received));
        }
        if (pollAt != 0) {
            if (received >= pollAt) {
                pollAt = 0;
                if (!send(conn, msg::kPoll)) {
                    return false;
                }
                polled = true;
            } else {
                want = static_cast<std::size_t>(std::min<std::uint64_t>(want, pollAt - received));
            }
        }
        if (conn.recvExact({buffer.data(), want}) != static_cast<long>(want)) {
            return false;
        }
        if (!options_.discard) {
            out.write(reinterpret_cast<const char*>(buffer.data()),
                      static_cast<std::streamsize>(want));
            out.flush();
            if (!out) {
                return false;  // not stored: the conversation ends, the upload fails
            }
        }
        received += want;
        remaining -= want;
        if (f.bytesPerSecond != 0) {
            // Never ahead of the rate: wait until it catches up.
            const auto due =
                began + std::chrono::duration<double>(static_cast<double>(received) /
                                                      static_cast<double>(f.bytesPerSecond));
            std::this_thread::sleep_until(
                std::chrono::time_point_cast<std::chrono::steady_clock::duration>(due));
        }
    }
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    return true;
}

void ReferenceService::uploadConversation(TcpConnection& conn, int kind) {
    const auto& f = options_.faults;
    if (f.silentAfterStart) {
        std::array<std::uint8_t, 1> byte{};
        while (!stopping_ && conn.recvExact(byte) > 0) {
        }
        return;
    }
    bool errorForm = !f.errorText.empty();
    if (f.errorFormAfterBreak) {
        std::lock_guard lock(mutex_);
        errorForm = errorForm || brokeSinceErrorForm_;
        brokeSinceErrorForm_ = false;
    }
    if (errorForm) {
        // The text travels in CP949, as every text of the protocol.
        const std::string shown =
            f.errorText.empty() ? "잠시 후 다시 시도해 주십시오" : f.errorText;
        const auto bytes = cp949::fromUtf8(shown);
        const std::string& raw = bytes ? *bytes : shown;
        std::vector<std::uint8_t> text(transfer::kErrorTextSize, 0);
        std::copy_n(raw.begin(), std::min(raw.size(), text.size() - 1), text.begin());
        auto head = transfer::PacketHeader{msg::kClose, 0, 0, -1, {}}.encode();
        conn.sendAll(head);
        conn.sendAll(text);
        const auto answer = readPacket(conn);
        if (answer && answer->header.type == msg::kClose && f.closeAfterErrorForm) {
            send(conn, msg::kClose);
        }
        return;
    }
    if (f.alreadyConnectedOnce && takeOnce(alreadyConnectedUsed_)) {
        send(conn, msg::kAlreadyConnected);
        readPacket(conn);
        return;
    }
    if (f.disconnectOnce && takeOnce(disconnectUsed_)) {
        send(conn, msg::kDisconnected);
        readPacket(conn);
        return;
    }
    bool sendUnknown = false;
    {
        std::lock_guard lock(mutex_);
        if (f.unknownPacket != 0 && unknownSent_ < f.unknownPacketTimes) {
            ++unknownSent_;
            sendUnknown = true;
        }
    }
    if (sendUnknown) {
        send(conn, f.unknownPacket);
        readPacket(conn);
        return;
    }
    const auto run = [&](auto tag) {
        using Record = decltype(tag);
        using Info = KindInfo<Record>;
        // A header-only poll: count 1, size -1, so no body follows.
        const auto poll = [&] {
            if (!f.headerOnlyPoll) {
                return true;
            }
            const auto head = transfer::PacketHeader{msg::kPoll, 1, -1, 0, {}}.encode();
            return conn.sendAll(head) == static_cast<long>(head.size()) &&
                   expectAnswer(conn, Info::kAlive, msg::kPoll);
        };
        if (!poll() || !send(conn, Info::kAskRecord)) {
            return;
        }
        auto packet = readPacket(conn);
        int files = 0;
        while (packet && packet->header.type == Info::kRecordPacket) {
            auto record = Record::fromBytes(packet->body);
            if (!record) {
                return;
            }
            {
                std::lock_guard lock(mutex_);
                records_.push_back(packet->body);
            }
            if (f.registerError != 0 && (!f.registerErrorOnce || firstFor("register", ""))) {
                send(conn, Info::kRegisterError, {}, f.registerError);
                readPacket(conn);
                return;
            }
            // The record as registered here, handed back with 508.
            Record registered = *record;
            (void)registered.setDataServerAddressBytes(options_.address);  // a short address
            registered.setDataServerPort(dataPort(Info::kKind));
            if (!send(conn, msg::kRegisteredRecord, registered.bytes())) {
                return;
            }
            auto proceed = readPacket(conn);
            if (!proceed || proceed->header.type != msg::kProceed) {
                return;
            }
            const std::string name = cp949::toUtf8(record->itemNameBytes());
            bool continueExisting = record->resumeState() != 0;
            if (!f.sameName.empty() && name.starts_with(f.sameName)) {
                send(conn, msg::kSameName);
                auto answer = readPacket(conn);
                if (!answer || answer->header.type != msg::kProceed) {
                    return;  // skipped, or the conversation ended
                }
                continueExisting = true;  // "이어 올리기": on top of what is stored
            }
            const auto folder = options_.storage / safeComponent(record->contentIdBytes()) /
                                safeFolder(cp949::toUtf8(record->serverFolderPathBytes()));
            const auto path = folder / safeComponent(name);
            std::error_code ec;
            if (!options_.discard) {
                std::filesystem::create_directories(folder);
            }
            // Only a record sent again, or the same-name "continue", goes on
            // from what is stored; a new upload starts from nothing.
            std::uint64_t held =
                continueExisting && !options_.discard && std::filesystem::exists(path, ec)
                    ? std::filesystem::file_size(path, ec)
                    : 0;
            const auto size = static_cast<std::uint64_t>(record->itemSize());
            held = std::min(held, size);
            double reported = static_cast<double>(held);
            if (f.negativeOffsetOnce && takeOnce(negativeOffsetUsed_)) {
                held = 0;
                reported = -1.0;
            }
            if (f.offsetBeyondEnd || (f.offsetBeyondEndName == name && firstFor("beyond", name))) {
                send(conn, Info::kSendData, transfer::encodeResume(static_cast<double>(size) + 1));
                readPacket(conn);
                return;
            }
            if (!options_.discard) {
                std::filesystem::resize_file(path, held, ec);
                if (ec) {
                    std::ofstream(path, std::ios::binary).close();
                }
            }
            const auto early = f.earlyAnswer.find(name);
            if (early != f.earlyAnswer.end() && firstFor("early", name)) {
                // Answered at once, in the same write as the resume offset,
                // before a byte of the data came: whatever follows is thrown
                // away and nothing is stored (removed now: the uploader's
                // next conversation may store the file while this one still
                // reads).
                std::filesystem::remove(path, ec);
                auto both =
                    transfer::encodePacket(Info::kSendData, transfer::encodeResume(reported), {});
                const auto answer = transfer::encodePacket(early->second, {}, {});
                both.insert(both.end(), answer.begin(), answer.end());
                if (conn.sendAll(both) != static_cast<long>(both.size())) {
                    return;
                }
                std::vector<std::uint8_t> sink(64 * 1024);
                for (std::uint64_t left = size - held; left > 0;) {
                    const auto want =
                        static_cast<std::size_t>(std::min<std::uint64_t>(left, sink.size()));
                    if (conn.recvExact({sink.data(), want}) != static_cast<long>(want)) {
                        return;
                    }
                    left -= want;
                }
                readPacket(conn);
                return;
            }
            if (!send(conn, Info::kSendData, transfer::encodeResume(reported))) {
                return;
            }
            double took = 0;
            bool polled = false;  // a 505 went out during the data
            if (!receiveData(conn, name, path, held, size, took, polled)) {
                return;
            }
            {
                std::lock_guard lock(mutex_);
                std::erase_if(stored_, [&](const StoredFile& s) { return s.path == path; });
                stored_.push_back({name, options_.discard ? std::filesystem::path{} : path, size,
                                   Info::kKind, took});
            }
            ++files;
            // The uploader's word after the last byte: 502 / 2007 for the
            // next file of the group, or 5.
            // A poll during the data may be answered before that word or
            // after it.
            auto next = readPacket(conn);
            if (polled && next && next->header.type == Info::kAlive) {
                polled = false;
                next = readPacket(conn);
            }
            if (!next) {
                break;
            }
            if (next->header.type != Info::kNextFile && next->header.type != msg::kClose) {
                protocolError(std::to_string(next->header.type) + " after the data of " + name);
                return;
            }
            if (polled && !expectAnswer(conn, Info::kAlive, msg::kPoll)) {
                return;
            }
            bool firstTime = false;
            {
                std::lock_guard lock(mutex_);
                firstTime = afterDataDone_.insert(name).second;
            }
            for (const std::int32_t extra : firstTime ? f.afterData : std::vector<std::int32_t>{}) {
                if (extra == msg::kRegisteredRecord) {
                    if (!send(conn, extra, registered.bytes()) ||
                        !expectAnswer(conn, msg::kProceed, extra)) {
                        return;
                    }
                    continue;
                }
                const std::int32_t wanted = extra == msg::kCloseRequest ? msg::kClose
                                            : extra == msg::kPoll       ? Info::kAlive
                                                                        : msg::kAlive;
                if (!send(conn, extra) || !expectAnswer(conn, wanted, extra)) {
                    return;
                }
                if (extra == msg::kCloseRequest || extra == msg::kDisconnected) {
                    return;  // closed in order
                }
            }
            if (f.closeUnconfirmed.contains(name) && firstFor("unconfirmed", name)) {
                return;  // stored, but closed in order without a word
            }
            if (f.confirmDelay.count() > 0 && firstFor("delay", "")) {
                for (auto waited = std::chrono::milliseconds{0};
                     waited < f.confirmDelay && !stopping_; waited += 10ms) {
                    std::this_thread::sleep_for(10ms);
                }
            }
            if (next->header.type != Info::kNextFile) {
                // Counted before the confirmation, which may end the run.
                if (files > 1) {
                    std::lock_guard lock(mutex_);
                    ++multiFile_;
                    files = 0;
                }
                send(conn, msg::kClose);  // the file is stored: conversation over
                break;
            }
            // The request for the next file confirms this one.
            if (!poll() || !send(conn, Info::kRequestRecord)) {
                return;
            }
            packet = readPacket(conn);
        }
        if (files > 1) {
            std::lock_guard lock(mutex_);
            ++multiFile_;
        }
    };
    if (kind == 4) {
        run(UploadJobRecord{});
    } else {
        run(MyStorageJobRecord{});
    }
}

}  // namespace quenvara::service
