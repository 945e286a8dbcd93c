// A control's services that wait for nothing and start nothing, for fuzz
// targets that drive the control in-process.
#pragma once

#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/launcher.h"
#include "platform/process_table.h"

namespace quenvara::fuzzing {

struct NoWaitClock final : platform::Clock {
    platform::Millis monotonic() const override { return now; }
    std::int64_t epochSeconds() const override { return 1'700'000'000; }
    void sleepFor(platform::Millis d) override { now += d; }
    platform::Millis now{0};
};

struct NoProcesses final : platform::ProcessTable {
    bool snapshot(std::vector<std::string>& names) const override {
        names.clear();
        return true;
    }
};

struct NoLauncher final : platform::Launcher {
    Outcome run(const std::vector<std::string>&) override { return {}; }
    Outcome start(const std::vector<std::string>&) override { return {}; }
};

}  // namespace quenvara::fuzzing
