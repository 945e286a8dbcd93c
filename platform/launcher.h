#pragma once

#include <string>
#include <vector>

namespace quenvara::platform {

// Starting other programs: the shutdown command, the web browser.
class Launcher {
  public:
    virtual ~Launcher() = default;
    struct Outcome {
        bool started = false;
        int error = 0;       // errno when it could not be started
        int exitStatus = 0;  // when waited for: the exit status, or 128 + signal
    };
    // Runs the program and waits for it to end.
    virtual Outcome run(const std::vector<std::string>& argv) = 0;
    // Starts the program and does not wait.
    virtual Outcome start(const std::vector<std::string>& argv) = 0;
};

// The command that opens an address in the user's web browser: xdg-open,
// or on Windows the shell's handler for the address's protocol.
std::vector<std::string> browserCommand(const std::string& url);

class SpawnLauncher final : public Launcher {
  public:
    Outcome run(const std::vector<std::string>& argv) override;
    Outcome start(const std::vector<std::string>& argv) override;
};

}  // namespace quenvara::platform
