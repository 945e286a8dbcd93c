// The control host's input from the browser: frames of any length and any
// JSON, each answered, never a crash or a read outside the input.
#include <cstdint>
#include <cstring>

#include "control_stubs.h"
#include "handover_client/pipe_list_writer.h"
#include "webcontrol/host/host_session.h"
#include "webcontrol/host/native_message_reader.h"

namespace {

using namespace quenvara;
using fuzzing::NoLauncher;
using fuzzing::NoProcesses;
using fuzzing::NoWaitClock;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    NoWaitClock clock;
    NoProcesses processes;
    NoLauncher launcher;
    platform::ScriptedFileDialogs dialogs({});
    webcontrol::CollectingNotices notices;
    platform::EnvLookup env = [](const char*) -> std::optional<std::string> {
        return "/nonexistent-quenvara-fuzz";
    };
    handover::PipeListWriter writer(notices, clock, [](std::string_view name) {
        return std::filesystem::path("/nonexistent-quenvara-fuzz") / std::string(name);
    });
    webcontrol::ControlModule module(writer);
    webcontrol::CQuenvaraUploadControlCtrl control(
        webcontrol::ControlServices{notices, clock, processes, launcher, dialogs, env,
                                    "/nonexistent-quenvara-fuzz"},
        module);
    webcontrol::HostSession session(control, notices);
    std::size_t at = 0;
    webcontrol::NativeMessageReader reader([&](void* buffer, std::size_t want) -> long {
        const std::size_t n = std::min(want, size - at);
        std::memcpy(buffer, data + at, n);
        at += n;
        return static_cast<long>(n);
    });
    for (int i = 0; i < 64; ++i) {
        auto message = reader.next();
        if (message && !*message) {
            break;
        }
        if (message) {
            (void)session.handle(**message);
        } else if (reader.broken()) {
            break;
        }
    }
    return 0;
}
