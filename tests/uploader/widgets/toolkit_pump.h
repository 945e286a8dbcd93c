// Lets the toolkit handle what the display sent, in widget tests.
#pragma once

#include <wx/app.h>
#include <wx/utils.h>

#include <chrono>
#include <functional>

namespace quenvara::testing {

// Paints and runs timers until `done` or the time is up; `done()` at the end.
inline bool pumpUntil(const std::function<bool()>& done, int milliseconds = 3000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < end) {
        wxTheApp->Yield(true);
        if (done()) {
            return true;
        }
        wxMilliSleep(5);
    }
    return done();
}

}  // namespace quenvara::testing
