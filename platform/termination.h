#pragma once

// Requests to end the program: SIGINT, SIGTERM and SIGHUP here; Ctrl+C,
// Ctrl+Break, the console closing, log-off and shut-down on Windows.
namespace quenvara::platform {

// Takes the requests over from the system's default handling. Called at the
// start of main(), before any thread starts (threads inherit the choice).
void takeTerminationRequests();

// Blocks until a request arrives; any thread, one waiter.
void waitForTerminationRequest();

}  // namespace quenvara::platform
