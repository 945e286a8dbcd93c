#include "platform/copy_data.h"

namespace quenvara::platform {

// No window messages here: the hand-over socket is the only way in.
Result<std::unique_ptr<CopyDataReceiver>> CopyDataReceiver::open(const std::string&, Handler) {
    return std::unique_ptr<CopyDataReceiver>();
}

bool copyDataWindowExists(const std::string&) {
    return false;
}

Result<bool> sendCopyData(const std::string& caption, std::uint32_t, std::span<const std::uint8_t>,
                          Millis) {
    return Result<bool>::failure("no window captioned \"" + caption +
                                 "\": this system has no window messages");
}

}  // namespace quenvara::platform
