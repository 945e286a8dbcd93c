#include "platform/system_dirs.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <map>

namespace quenvara::platform {
namespace {

EnvLookup fakeEnv(std::map<std::string, std::string> vars) {
    return [vars](const char* name) -> std::optional<std::string> {
        auto it = vars.find(name);
        if (it == vars.end()) {
            return std::nullopt;
        }
        return it->second;
    };
}

TEST(SystemDirs, EnvironmentComesFirstThenXdgThenFallback) {
    EXPECT_EQ(pipeDirectory(fakeEnv({{"QUENVARA_PIPE_DIR", "/x/p"}, {"XDG_RUNTIME_DIR", "/r"}})),
              "/x/p");
    EXPECT_EQ(pipeDirectory(fakeEnv({{"XDG_RUNTIME_DIR", "/run/user/7"}})), "/run/user/7/quenvara");
    // Without a runtime folder: the user's own state folder, never a name in
    // /tmp that another user could take first.
    EXPECT_EQ(pipeDirectory(fakeEnv({{"QUENVARA_PIPE_DIR", ""}, {"XDG_STATE_HOME", "/h/st"}})),
              "/h/st/quenvara");
    EXPECT_EQ(pipeDirectory(fakeEnv({{"HOME", "/home/u"}})), "/home/u/.local/state/quenvara");

    EXPECT_EQ(settingsDirectory(fakeEnv({{"QUENVARA_CONFIG_DIR", "/c"}})), "/c");
    EXPECT_EQ(settingsDirectory(fakeEnv({{"XDG_CONFIG_HOME", "/h/.cfg"}})), "/h/.cfg/quenvara");
    EXPECT_EQ(settingsDirectory(fakeEnv({{"HOME", "/home/u"}})), "/home/u/.config/quenvara");
}

TEST(SystemDirs, SystemDirectoryFollowsTheInstallLayout) {
    const auto none = fakeEnv({});
    EXPECT_EQ(systemDirectory(fakeEnv({{"QUENVARA_SYSTEM_DIR", "/opt/q"}}), "/any"), "/opt/q");
    EXPECT_EQ(systemDirectory(none, "/usr/lib/quenvara"), "/usr/lib/quenvara");
    EXPECT_EQ(systemDirectory(none, "/build/bin"), "/build/lib/quenvara");
    EXPECT_EQ(systemDirectory(none, "/build/lib"), "/build/lib/quenvara");
}

TEST(SystemDirs, ImageNameIsLowerCased) {
    EXPECT_EQ(lowerAscii("QuenvaraUpLoad"), "quenvaraupload");
}

}  // namespace
}  // namespace quenvara::platform
