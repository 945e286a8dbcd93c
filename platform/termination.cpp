#include "platform/termination.h"

#include <pthread.h>
#include <signal.h>

namespace quenvara::platform {
namespace {

sigset_t requests() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

}  // namespace

// Blocked in every thread, so that they wait for sigwait alone.
void takeTerminationRequests() {
    const sigset_t set = requests();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void waitForTerminationRequest() {
    const sigset_t set = requests();
    int signal = 0;
    sigwait(&set, &signal);
}

}  // namespace quenvara::platform
