#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "platform/clock.h"
#include "platform/result.h"

// Messages handed to a window found by its caption (WM_COPYDATA): the
// hand-over's way on Windows where the pipe is not there. Other systems
// have no such windows: nothing opens there, and every send fails.
namespace quenvara::platform {

inline constexpr std::size_t kMaxCopyData = 1 << 20;

class CopyDataReceiver {
  public:
    // Answers one message: true takes it.
    using Handler = std::function<bool(std::uint32_t kind, std::span<const std::uint8_t> data)>;

    // A message-only window captioned `caption`, served by its own thread;
    // the handler runs there, one message at a time. Null where the system
    // has no such windows.
    static Result<std::unique_ptr<CopyDataReceiver>> open(const std::string& caption,
                                                          Handler handler);
    virtual ~CopyDataReceiver() = default;
};

// Whether a window (top-level or message-only) has this caption.
bool copyDataWindowExists(const std::string& caption);

// Hands the message to the window captioned `caption` (a top-level window
// or a message-only one) and waits at most `timeout` for its answer:
// whether it took the message; a failure when there is no such window, it
// does not answer in time, or the data is over kMaxCopyData.
Result<bool> sendCopyData(const std::string& caption, std::uint32_t kind,
                          std::span<const std::uint8_t> data, Millis timeout);

}  // namespace quenvara::platform
