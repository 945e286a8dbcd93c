#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/notices.h"
#include "protocol/list_message.h"

namespace quenvara::handover {

// The uploader's pipe name: its program file name, lower-cased.
inline constexpr std::string_view kDefaultPipeName = "quenvaraupload";

// The control's side of the hand-over: one frame per connection, then the
// acknowledgement that the uploader's window has handled it.
class PipeListWriter {
  public:
    static constexpr int kAttempts = 30;

    // `socketPathFor` maps a pipe name to its socket path.
    PipeListWriter(platform::Notices& notices, platform::Clock& clock,
                   std::function<std::filesystem::path(std::string_view)> socketPathFor,
                   std::string defaultName = std::string(kDefaultPipeName));

    // True once the whole frame was written and the uploader acknowledged it.
    bool write(const ListMessage& message) { return write(defaultName_, message); }
    bool write(std::string_view pipeName, const ListMessage& message);

    // Why the last write failed, for callers that report it themselves.
    const std::string& lastError() const { return lastError_; }

  private:
    void showError(std::string_view text, int systemError);

    platform::Notices& notices_;
    platform::Clock& clock_;
    std::function<std::filesystem::path(std::string_view)> socketPathFor_;
    std::string defaultName_;
    std::string lastError_;
};

}  // namespace quenvara::handover
