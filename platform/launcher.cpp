#include "platform/launcher.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <thread>

extern char** environ;

namespace quenvara::platform {
namespace {

int spawn(const std::vector<std::string>& argv, pid_t& pid, bool ownSession) {
    if (argv.empty()) {
        return EINVAL;
    }
    std::vector<char*> args;
    for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (ownSession) {
        // A program started and left running outlives its starter's
        // session (a browser ends its native host's whole group).
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    }
    const int rc = ::posix_spawnp(&pid, args[0], nullptr, &attributes, args.data(), environ);
    posix_spawnattr_destroy(&attributes);
    return rc;
}

int waitFor(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return 127;
        }
    }
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return 128 + WTERMSIG(status);
}

}  // namespace

Launcher::Outcome SpawnLauncher::run(const std::vector<std::string>& argv) {
    Outcome out;
    pid_t pid = 0;
    out.error = spawn(argv, pid, false);
    if (out.error != 0) {
        return out;
    }
    out.started = true;
    out.exitStatus = waitFor(pid);
    return out;
}

Launcher::Outcome SpawnLauncher::start(const std::vector<std::string>& argv) {
    Outcome out;
    pid_t pid = 0;
    out.error = spawn(argv, pid, true);
    if (out.error != 0) {
        return out;
    }
    out.started = true;
    // Reap it in the background so it leaves no zombie.
    std::thread([pid] { waitFor(pid); }).detach();
    return out;
}

std::vector<std::string> browserCommand(const std::string& url) {
    return {"xdg-open", url};
}

}  // namespace quenvara::platform
