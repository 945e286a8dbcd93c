#include "uploader/frontend/wx/msw_sleep_inhibitor.h"

#include <windows.h>

namespace quenvara::uploader::wxui {

SleepInhibitor::~SleepInhibitor() {
    hold(false);
}

void SleepInhibitor::hold(bool wanted) {
    if (wanted == held_) {
        return;
    }
    const EXECUTION_STATE state = wanted ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS;
    // A system that refuses leaves the machine as it was: nothing to undo.
    held_ = wanted && ::SetThreadExecutionState(state) != 0;
    if (!wanted) {
        ::SetThreadExecutionState(state);
    }
}

}  // namespace quenvara::uploader::wxui
