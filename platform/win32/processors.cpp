#include "platform/processors.h"

#include <windows.h>

#include <bit>
#include <cstdint>

namespace quenvara::platform {

int usableProcessors() {
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system) != 0 && process != 0) {
        return std::popcount(static_cast<std::uintptr_t>(process));
    }
    return 1;
}

}  // namespace quenvara::platform
