#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/local_pipe.h"
#include "platform/notices.h"
#include "platform/system_dirs.h"
#include "protocol/list_message.h"

namespace quenvara::handover {

// The uploader's pipe name: its program file name, lower-cased.
inline constexpr std::string_view kDefaultPipeName = "quenvaraupload";

// The control's side of the hand-over: one frame per connection, then the
// acknowledgement that the uploader's window has handled it. A job goes to
// our own user's uploader only: a socket folder that is not ours or that
// others can enter, or a peer of another user, gets not one byte.
class PipeListWriter {
  public:
    static constexpr int kAttempts = 30;
    // The user id of the process at the other end (-1 when unknown).
    using PeerUid = std::function<long(const platform::LocalPipeConnection&)>;

    // `socketPathFor` maps a pipe name to its socket path.
    PipeListWriter(platform::Notices& notices, platform::Clock& clock,
                   std::function<std::filesystem::path(std::string_view)> socketPathFor,
                   std::string defaultName = std::string(kDefaultPipeName) +
                                             std::string(platform::executableSuffix()));

    // True once the whole frame was written and the uploader acknowledged it.
    bool write(const ListMessage& message) { return write(defaultName_, message); }
    bool write(std::string_view pipeName, const ListMessage& message);

    // Why the last write failed, for callers that report it themselves.
    const std::string& lastError() const { return lastError_; }

    // Tests stand in for the system's answer about the peer.
    void setPeerUid(PeerUid peerUid) { peerUid_ = std::move(peerUid); }

  private:
    void showError(std::string_view text, int systemError);
    // The reason not to send to this connection, or nothing.
    std::string refusal(const std::filesystem::path& socketPath,
                        const platform::LocalPipeConnection& connection) const;

    platform::Notices& notices_;
    platform::Clock& clock_;
    std::function<std::filesystem::path(std::string_view)> socketPathFor_;
    std::string defaultName_;
    std::string lastError_;
    PeerUid peerUid_ = [](const platform::LocalPipeConnection& c) { return c.peerUid(); };
};

}  // namespace quenvara::handover
