#include "webcontrol/control_module.h"

#include <algorithm>

namespace quenvara::webcontrol {

void ControlModule::resetForSelection(int maxFileCount) {
    if (!allocated_) {
        allocated_ = true;
        capacity_ = static_cast<std::size_t>(std::max(maxFileCount, 0));
    }
    files_.clear();
    music_.clear();
    entries_.clear();
}

bool ControlModule::addFile(std::string name) {
    if (files_.size() >= capacity_) {
        return false;
    }
    files_.push_back(std::move(name));
    return true;
}

bool ControlModule::addMusic(std::string description) {
    if (music_.size() >= capacity_) {
        return false;
    }
    music_.push_back(std::move(description));
    return true;
}

}  // namespace quenvara::webcontrol
