#pragma once

#include <string>
#include <vector>

namespace quenvara::platform {

// The executable file names of the running processes (a process snapshot).
class ProcessTable {
  public:
    virtual ~ProcessTable() = default;
    // False when no snapshot could be taken.
    virtual bool snapshot(std::vector<std::string>& executableNames) const = 0;
};

// Reads /proc: the file name of each process's executable, or its command
// name when the executable link cannot be read (another user's process).
class ProcProcessTable final : public ProcessTable {
  public:
    bool snapshot(std::vector<std::string>& executableNames) const override;
};

}  // namespace quenvara::platform
