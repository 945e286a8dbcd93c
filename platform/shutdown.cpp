#include "platform/shutdown.h"

namespace quenvara::platform {

Shutdown::Outcome CommandShutdown::powerOff() {
    std::vector<std::string> argv = {"systemctl", "poweroff"};
    if (auto custom = env_("QUENVARA_SHUTDOWN_COMMAND"); custom && !custom->empty()) {
        argv = {"/bin/sh", "-c", *custom};
    }
    const auto r = launcher_.run(argv);
    if (!r.started) {
        return {Stage::NotStarted, r.error};
    }
    if (r.exitStatus != 0) {
        return {Stage::Failed, r.exitStatus};
    }
    return {};
}

}  // namespace quenvara::platform
