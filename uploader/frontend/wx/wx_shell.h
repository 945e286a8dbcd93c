#pragma once

#include <filesystem>
#include <ostream>

#include "platform/clock.h"
#include "platform/system_dirs.h"

namespace quenvara::uploader::wxui {

struct WindowedRun {
    platform::Clock& clock;
    platform::EnvLookup env;
    std::filesystem::path programPath;
    std::ostream& out;
    std::ostream& err;
};

// Starts the toolkit, runs the uploader with its window until it ends, and
// returns the exit status; 2 with a one-line message when the display
// cannot be opened. `onStarted` gets the function that ends the run from
// any thread (for termination signals).
int runWindowed(const WindowedRun& run,
                const std::function<void(std::function<void()>)>& onStarted);

// Makes a toolkit assertion one line on standard error, after which the
// program goes on: it never reaches a person as a dialog.
void logToolkitAssertions();

// Whether the environment names a display a window can open on.
bool displayAvailable(const platform::EnvLookup& env);

}  // namespace quenvara::uploader::wxui
