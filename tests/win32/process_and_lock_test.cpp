// Starting programs and the single-instance lock on Windows, under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include "platform/file_lock.h"
#include "platform/launcher.h"
#include "platform/path_text.h"
#include "platform/process_table.h"
#include "platform/shutdown.h"
#include "tests/support/temp_dir.h"

namespace quenvara::platform {
namespace {

using namespace std::chrono_literals;

std::string readAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(Win32Launcher, ArgumentsArriveAsTheyWereAndFailuresSayWhy) {
    testing::TempDir dir;
    const auto out = dir / "args.txt";
    const std::vector<std::string> args = {"plain",         "with space",   "quote\"inside",
                                           "trailing\\",    "a\\\\b \"c\"", "",
                                           "노래 목록.mp3", "tab\there",    "\\\\server\\share\\"};
    std::vector<std::string> argv = {ARGS_ECHO, utf8Text(out)};
    argv.insert(argv.end(), args.begin(), args.end());
    SpawnLauncher launcher;
    const auto ran = launcher.run(argv);
    ASSERT_TRUE(ran.started) << ran.error;
    EXPECT_EQ(ran.exitStatus, static_cast<int>(args.size()));
    std::string expected;
    for (const auto& a : args) {
        expected += a + "\n";
    }
    EXPECT_EQ(readAll(out), expected);

    const auto missing = launcher.run({"C:\\nowhere\\no-such-program.exe"});
    EXPECT_FALSE(missing.started);
    EXPECT_EQ(missing.error, ENOENT);
    EXPECT_EQ(launcher.run({}).error, EINVAL);

    // Started and left to run: it still does its work.
    const auto later = dir / "later.txt";
    ASSERT_TRUE(launcher.start({ARGS_ECHO, utf8Text(later), "x"}).started);
    for (int i = 0; i < 800 && readAll(later) != "x\n"; ++i) {
        std::this_thread::sleep_for(25ms);
    }
    EXPECT_EQ(readAll(later), "x\n");
}

TEST(Win32FileLock, OneHolderAskingTakesNothingAndAWaiterGetsItNext) {
    testing::TempDir dir;
    const auto file = dir / "quenvaraupload.exe.lock";
    EXPECT_EQ(lockIsHeld(file).value(), false);  // no file yet
    auto first = FileLock::tryLock(file);
    ASSERT_TRUE(first) << first.error();
    ASSERT_TRUE(first->held());
    auto second = FileLock::tryLock(file);
    ASSERT_TRUE(second);
    EXPECT_FALSE(second->held());
    EXPECT_EQ(lockIsHeld(file).value(), true);
    // Asking many times while someone waits never turns the waiter away.
    auto waiter = std::async(std::launch::async, [&] { return FileLock::lock(file); });
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(lockIsHeld(file).value(), true);
    }
    EXPECT_EQ(waiter.wait_for(100ms), std::future_status::timeout);
    *first = FileLock();
    ASSERT_EQ(waiter.wait_for(5s), std::future_status::ready);
    auto taken = waiter.get();
    ASSERT_TRUE(taken) << taken.error();
    EXPECT_TRUE(taken->held());
    *taken = FileLock();
    EXPECT_EQ(lockIsHeld(file).value(), false);

    std::filesystem::create_directories(dir / "folder.lock");
    EXPECT_FALSE(FileLock::tryLock(dir / "folder.lock"));
}

TEST(Win32Processes, TheSnapshotNamesThisProgramAndTheShutdownSeamRuns) {
    std::vector<std::string> names;
    ASSERT_TRUE(ProcProcessTable().snapshot(names));
    EXPECT_NE(std::find(names.begin(), names.end(), "process_and_lock_tests.exe"), names.end());

    // The stand-in command instead of the real power-off: its exit status
    // tells done from failed.
    SpawnLauncher launcher;
    const auto env = [](const char* command) {
        return [command](const char* name) -> std::optional<std::string> {
            return std::string(name) == "QUENVARA_SHUTDOWN_COMMAND"
                       ? std::optional(std::string(command))
                       : std::nullopt;
        };
    };
    EXPECT_EQ(CommandShutdown(launcher, env("exit 0")).powerOff().stage, Shutdown::Stage::Done);
    const auto failed = CommandShutdown(launcher, env("exit 3")).powerOff();
    EXPECT_EQ(failed.stage, Shutdown::Stage::Failed);
    EXPECT_EQ(failed.code, 3);
}

}  // namespace
}  // namespace quenvara::platform
