// RunUploadModule finding, starting and failing to start the uploader.
#include <gtest/gtest.h>

#include "tests/webcontrol/control_fixture.h"

namespace quenvara::webcontrol {
namespace {

void pickFolder(ControlFixture& f) {
    f.dir.write("album/a.mp3", "aaaa");
    f.answer({(f.dir / "album").string()});
    ASSERT_EQ(f.text("ShowSelectDlg", {1}), (f.dir / "album").string());
}

TEST(FindUploader, TheInstanceLockBesideOurSocketDecidesNotProcessNames) {
    struct Case {
        const char* name;
        bool socket;
        bool lockHeld;
        bool namedAmongProcesses;
        bool started;
    };
    const Case cases[] = {
        {"our uploader, whatever the snapshot shows", true, true, false, false},
        {"a socket left behind while another user's uploader runs", true, false, true, true},
        {"nothing there", false, false, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ControlFixture f;
        f.processes.running = c.namedAmongProcesses;
        if (c.socket) {
            f.startUploader();
        }
        if (!c.lockHeld) {
            f.instanceLock = platform::FileLock{};
        }
        pickFolder(f);
        f.call("RunUploadModule");
        EXPECT_EQ(f.launcher.started.size(), c.started ? 1u : 0u);
        EXPECT_EQ(f.messages().size(), 2u);
        EXPECT_TRUE(f.notices.texts().empty());
    }
}

}  // namespace
}  // namespace quenvara::webcontrol
