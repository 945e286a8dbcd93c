#include "uploader/app/single_instance.h"

#include <string>
#include <vector>

#include "platform/system_dirs.h"

namespace quenvara::uploader {

bool isOnlyInstance(const platform::ProcessTable& processes, std::string_view programFileName) {
    std::vector<std::string> names;
    if (!processes.snapshot(names)) {
        return true;
    }
    const std::string wanted = platform::lowerAscii(programFileName);
    int count = 0;
    for (const auto& name : names) {
        if (platform::lowerAscii(name) == wanted && ++count > 1) {
            return false;
        }
    }
    return true;
}

}  // namespace quenvara::uploader
