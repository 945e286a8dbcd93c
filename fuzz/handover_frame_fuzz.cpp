// Hand-over frames as they arrive from a client: the header of a full frame
// is taken from the input, the rest of the input becomes the payload area.
#include <cstdint>
#include <cstring>
#include <variant>
#include <vector>

#include "protocol/list_message.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quenvara::handover;
    std::vector<std::uint8_t> frame(size % 3 == 0 ? kFrameSize : size, 0);
    std::memcpy(frame.data(), data, std::min(size, frame.size()));
    auto message = decodeFrame(frame);
    if (!message) {
        return 0;
    }
    auto item = interpret(*message);
    if (item) {
        if (auto* list = std::get_if<MusicList>(&*item)) {
            for (const auto& e : list->entries) {
                (void)e.baseNameBytes();
            }
        } else if (auto* job = std::get_if<quenvara::UploadJobRecord>(&*item)) {
            (void)job->localPath();
            (void)job->userValues().registrantName();
        }
    }
    return 0;
}
