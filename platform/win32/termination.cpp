#include <windows.h>

#include "platform/termination.h"

namespace quenvara::platform {
namespace {

HANDLE requested() {
    static const HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event;
}

// Runs on a thread of the system's; the program's own waiter ends it. For
// the console closing, log-off and shut-down the system ends the process
// when this returns, so it waits a little for the waiter to act first.
BOOL WINAPI onRequest(DWORD kind) {
    ::SetEvent(requested());
    if (kind == CTRL_CLOSE_EVENT || kind == CTRL_LOGOFF_EVENT || kind == CTRL_SHUTDOWN_EVENT) {
        ::Sleep(2000);
    }
    return TRUE;
}

}  // namespace

void takeTerminationRequests() {
    requested();
    ::SetConsoleCtrlHandler(onRequest, TRUE);
}

void waitForTerminationRequest() {
    ::WaitForSingleObject(requested(), INFINITE);
}

}  // namespace quenvara::platform
