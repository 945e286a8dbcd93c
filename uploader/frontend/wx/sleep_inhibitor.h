#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace quenvara::uploader::wxui {

// Keeps the machine from sleeping while a run uploads: holds a logind
// inhibitor lock through `systemd-inhibit`, whose child waits on a pipe we
// hold. Closing the pipe (or our exit) releases the lock. Where there is no
// logind, nothing is held and nothing is reported.
class SleepInhibitor {
  public:
    explicit SleepInhibitor(std::vector<std::string> command = defaultCommand());
    ~SleepInhibitor();
    SleepInhibitor(const SleepInhibitor&) = delete;
    SleepInhibitor& operator=(const SleepInhibitor&) = delete;

    void hold(bool wanted);
    bool held() const { return child_ > 0; }
    // The process holding the lock, while held.
    pid_t holder() const { return child_; }

    static std::vector<std::string> defaultCommand();

  private:
    void acquire();
    void release();

    std::vector<std::string> command_;
    pid_t child_ = -1;
    int pipe_ = -1;
};

}  // namespace quenvara::uploader::wxui
