#include "platform/processors.h"

#include <sched.h>

#include <algorithm>
#include <thread>

namespace quenvara::platform {

int usableProcessors() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        return CPU_COUNT(&set);
    }
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

}  // namespace quenvara::platform
