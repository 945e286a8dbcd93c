// Two pages hand over at once: each page's sequence arrives whole.
#include <gtest/gtest.h>

#include <latch>

#include "tests/webcontrol/control_fixture.h"

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

}  // namespace
}  // namespace quenvara::webcontrol
