// Two pages hand over at once: each page's sequence arrives whole.
#include <gtest/gtest.h>

#include <future>
#include <latch>

#include "tests/webcontrol/control_fixture.h"
#include "webcontrol/host/host_session.h"

namespace quenvara::webcontrol {
namespace {

using namespace std::chrono_literals;

// Gives the page a folder and a music list whose names, like its server
// address, carry its mark, so every message tells which page sent it.
void prepare(ControlFixture& f, CQuenvaraUploadControlCtrl& control, const std::string& mark) {
    f.dir.write(mark + "/" + mark + ".mp3", "music");
    f.answer({(f.dir / mark).string()});
    ASSERT_EQ(control.ShowSelectDlg(1), (f.dir / mark).string());
    control.setStrCmdServerIP(mark);
    control.setDwServerPort(9000);
    control.SetOrvaneFile("YN" + mark + ".mp3");
}

TEST(HandoverLock, TwoPagesSequencesNeverInterleave) {
    ControlFixture f;
    f.deliveryDelay = 20ms;
    // A page waiting for the other's hand-over polls the lock; each poll
    // takes a moment of real time, so that the other can finish.
    f.clock.onSleep = [](platform::Millis) { std::this_thread::sleep_for(2ms); };
    f.startUploader();
    testing::RecordingNotices otherNotices;
    handover::PipeListWriter otherWriter{otherNotices, f.clock, [&](std::string_view name) {
                                             return f.socketPath.parent_path() / std::string(name);
                                         }};
    ControlModule otherModule{otherWriter};
    CQuenvaraUploadControlCtrl other(ControlServices{otherNotices, f.clock, f.processes, f.launcher,
                                                     f.forwarding, f.env, f.dir.path() / "lib"},
                                     otherModule);
    prepare(f, f.ctrl(), "page-a");
    prepare(f, other, "page-b");

    std::latch go(2);
    auto run = [&go](CQuenvaraUploadControlCtrl& control) {
        go.arrive_and_wait();
        control.RunUploadModule();
    };
    std::thread a(run, std::ref(f.ctrl()));
    std::thread b(run, std::ref(other));
    a.join();
    b.join();

    std::string order;
    for (const auto& m : f.messages()) {
        const std::string_view payload(reinterpret_cast<const char*>(m.payload.data()),
                                       m.payload.size());
        order += payload.find("page-a") != std::string_view::npos   ? 'A'
                 : payload.find("page-b") != std::string_view::npos ? 'B'
                                                                    : '?';
    }
    EXPECT_TRUE(order == "AAABBB" || order == "BBBAAA") << order;
    EXPECT_TRUE(f.notices.texts().empty());
    EXPECT_TRUE(otherNotices.texts().empty());
}

TEST(HandoverLock, AnotherPagesHandOverIsWaitedForButNotForEver) {
    ControlFixture f;
    f.startUploader();
    prepare(f, f.ctrl(), "page-a");
    auto held = platform::FileLock::lock(platform::handoverLockPath(f.socketPath));
    ASSERT_TRUE(held);
    f.ctrl().RunUploadModule();
    EXPECT_TRUE(f.messages().empty());
    ASSERT_EQ(f.notices.texts().size(), 1u);
    EXPECT_NE(f.notices.texts()[0].find("다른 페이지가"), std::string::npos);
    EXPECT_GE(f.clock.monotonic(), platform::Millis{30'000});
}

TEST(HandoverLock, ThePagesOtherCallsAreAnsweredWhileTheUploaderTakesItsTime) {
    ControlFixture f;
    f.deliveryDelay = 1000ms;
    std::promise<void> arrived;
    std::once_flag first;
    f.onReceive = [&] { std::call_once(first, [&] { arrived.set_value(); }); };
    f.startUploader();
    CollectingNotices notices;
    ControlLock lock;
    UnlockedClock clock(f.clock, lock);
    CQuenvaraUploadControlCtrl control(
        ControlServices{notices, clock, f.processes, f.launcher, f.forwarding, f.env,
                        f.dir.path() / "lib", outsideOf(lock)},
        f.module);
    HostSession session(control, notices, &lock);
    prepare(f, control, "page-a");
    std::thread run([&] { session.handle(R"({"id":1,"member":"RunUploadModule"})"); });
    arrived.get_future().wait();
    // The uploader's window holds each message for a second.
    const auto answer = session.handle(R"({"id":2,"member":"GetFileName"})");
    EXPECT_LT(f.messages().size(), 3u) << "answered only after the hand-over";
    EXPECT_NE(answer.find("page-a"), std::string::npos) << answer;
    run.join();
    EXPECT_EQ(f.messages().size(), 3u);
}

TEST(HandoverFolder, WithoutARuntimeFolderTheSocketIsInTheUsersOwnFolderNotInTmp) {
    ControlFixture f;
    const auto home = f.dir / "home";
    const platform::EnvLookup env = [&](const char* name) -> std::optional<std::string> {
        if (std::string_view(name) == "HOME") {
            return home.string();
        }
        return std::nullopt;
    };
    // The uploader and the control find the folder through one function.
    f.socketPath = platform::pipeDirectory(env) / "quenvaraupload";
    EXPECT_EQ(f.socketPath.string().rfind(home.string() + "/", 0), 0u) << f.socketPath;
    ASSERT_TRUE(platform::ensurePrivateDirectory(f.socketPath.parent_path()));
    CQuenvaraUploadControlCtrl control(ControlServices{f.notices, f.clock, f.processes, f.launcher,
                                                       f.forwarding, env, f.dir.path() / "lib"},
                                       f.module);
    prepare(f, control, "page-a");
    control.RunUploadModule();
    EXPECT_EQ(f.launcher.started.size(), 1u);
    EXPECT_EQ(f.messages().size(), 3u);
    EXPECT_TRUE(f.notices.texts().empty()) << f.notices.texts()[0];
}

}  // namespace
}  // namespace quenvara::webcontrol
