#pragma once

#include "platform/launcher.h"
#include "platform/system_dirs.h"

namespace quenvara::platform {

// Forced shutdown of the machine.
class Shutdown {
  public:
    enum class Stage { Done, NotStarted, Failed };
    struct Outcome {
        Stage stage = Stage::Done;
        int code = 0;  // errno when not started, the command's exit status when it failed
    };
    virtual ~Shutdown() = default;
    virtual Outcome powerOff() = 0;
};

// Runs QUENVARA_SHUTDOWN_COMMAND through the shell when set, else
// `systemctl poweroff`.
class CommandShutdown final : public Shutdown {
  public:
    CommandShutdown(Launcher& launcher, EnvLookup env)
        : launcher_(launcher), env_(std::move(env)) {}
    Outcome powerOff() override;

  private:
    Launcher& launcher_;
    EnvLookup env_;
};

}  // namespace quenvara::platform
