#include "uploader/frontend/wx/sleep_inhibitor.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quenvara::uploader::wxui {

SleepInhibitor::SleepInhibitor(std::vector<std::string> command) : command_(std::move(command)) {}

SleepInhibitor::~SleepInhibitor() {
    release();
}

std::vector<std::string> SleepInhibitor::defaultCommand() {
    // `cat` ends when its standard input closes, and the lock with it.
    return {"systemd-inhibit",       "--what=sleep:idle", "--who=QuenvaraUpLoad",
            "--why=uploading files", "--mode=block",      "cat"};
}

void SleepInhibitor::hold(bool wanted) {
    if (wanted && !held()) {
        acquire();
    } else if (!wanted && held()) {
        release();
    }
}

void SleepInhibitor::acquire() {
    int fds[2];
    if (command_.empty() || pipe2(fds, O_CLOEXEC) != 0) {
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (auto& arg : command_) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0]);
    if (rc != 0) {
        close(fds[1]);
        return;
    }
    child_ = pid;
    pipe_ = fds[1];
}

void SleepInhibitor::release() {
    if (pipe_ >= 0) {
        close(pipe_);
        pipe_ = -1;
    }
    if (child_ > 0) {
        // It ends on the closed pipe; a hung one is ended for it.
        int status = 0;
        for (int i = 0; i < 50 && waitpid(child_, &status, WNOHANG) == 0; ++i) {
            usleep(2000);
            if (i == 49) {
                kill(child_, SIGTERM);
                waitpid(child_, &status, 0);
            }
        }
        child_ = -1;
    }
}

}  // namespace quenvara::uploader::wxui
