#include "handover_client/pipe_list_writer.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quenvara::handover {
namespace {

// Generous: the uploader acknowledges only after its window handled the
// message, which may include a message box.
constexpr platform::Millis kAckTimeout{120'000};

constexpr std::string_view kRefusedText = "다른 사용자의 파이프일 수 있어 보내지 않았습니다.";

}  // namespace

PipeListWriter::PipeListWriter(platform::Notices& notices, platform::Clock& clock,
                               std::function<std::filesystem::path(std::string_view)> socketPathFor,
                               std::string defaultName)
    : notices_(notices),
      clock_(clock),
      socketPathFor_(std::move(socketPathFor)),
      defaultName_(std::move(defaultName)) {}

void PipeListWriter::showError(std::string_view text, int systemError) {
    // "%s \n상세정보 %d: %s": the message, the system error number and its text.
    const std::string box = std::string(text) + " \n상세정보 " + std::to_string(systemError) +
                            ": " + std::strerror(systemError);
    notices_.messageBox(box, "Error", platform::NoticeButtons::Ok, platform::NoticeIcon::Stop);
}

std::string PipeListWriter::refusal(const std::filesystem::path& socketPath,
                                    const platform::LocalPipeConnection& connection) const {
    if (auto folder = platform::checkPrivateDirectory(socketPath.parent_path()); !folder) {
        return folder.error();
    }
    const long ours = platform::currentUserId();
    if (const long peer = peerUid_(connection); peer != ours) {
        return socketPath.string() + ": the listener runs as user id " + std::to_string(peer) +
               ", not as us (" + std::to_string(ours) + ")";
    }
    return {};
}

bool PipeListWriter::write(std::string_view pipeName, const ListMessage& message) {
    lastError_.clear();
    auto frame = encodeFrame(message);
    if (!frame) {
        lastError_ = frame.error();
        return false;
    }
    const auto path = socketPathFor_(pipeName);
    int lastErrno = 0;
    std::optional<platform::LocalPipeConnection> connection;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        auto c = platform::connectLocalPipe(path, lastErrno);
        if (c) {
            connection.emplace(std::move(*c));
            break;
        }
        // A full backlog is the busy pipe: wait longer for a free instance.
        clock_.sleepFor(lastErrno == EAGAIN ? platform::Millis{3000} : platform::Millis{1000});
    }
    if (!connection) {
        lastError_ = path.string() + ": " + std::strerror(lastErrno);
        showError("파이프를 생성할 수 없습니다.", lastErrno);
        return false;
    }
    if (auto why = refusal(path, *connection); !why.empty()) {
        lastError_ = why;
        notices_.messageBox(std::string(kRefusedText) + "\n(" + why + ")", "Error",
                            platform::NoticeButtons::Ok, platform::NoticeIcon::Stop);
        return false;
    }
    const auto sent = connection->writeAll(*frame);
    if (!sent.complete(frame->size())) {
        lastError_ = "frame not written: " + std::string(std::strerror(sent.error));
        return false;
    }
    std::vector<std::uint8_t> ack(kAckSize);
    const auto got = connection->readFull(ack, kAckTimeout);
    if (!got.complete(kAckSize)) {
        // Without the acknowledgement the uploader did not take the message.
        lastError_ = got.timedOut ? "no acknowledgement from the uploader"
                                  : "the uploader refused the message";
        return false;
    }
    return true;
}

}  // namespace quenvara::handover
