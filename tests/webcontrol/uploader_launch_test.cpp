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

TEST(RunUploadModule, ASystemDirectoryThatCannotBeDeterminedIsSaidAndNothingStarts) {
    ControlFixture f;
    f.env = [&f](const char* name) -> std::optional<std::string> {
        if (std::string_view(name) == "QUENVARA_PIPE_DIR") {
            return f.socketPath.parent_path().string();
        }
        if (std::string_view(name) == "QUENVARA_SYSTEM_DIR") {
            return "lib/quenvara";
        }
        return std::nullopt;
    };
    pickFolder(f);
    f.call("RunUploadModule");
    EXPECT_TRUE(f.launcher.started.empty());
    EXPECT_TRUE(f.messages().empty());
    const auto boxes = f.notices.boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "시스템 경로 에러");
    EXPECT_EQ(boxes[0].caption, "알림");
    EXPECT_EQ(boxes[0].icon, platform::NoticeIcon::Stop);
}

TEST(RunUploadModule, AnUploaderThatCannotBeLookedForIsSaidOnceAndStarted) {
    ControlFixture f;
    std::filesystem::permissions(
        f.socketPath.parent_path(),
        std::filesystem::perms::owner_all | std::filesystem::perms::others_exec,
        std::filesystem::perm_options::replace);
    f.launcher.uploaderStarts = false;
    pickFolder(f);
    f.call("RunUploadModule");
    EXPECT_EQ(f.launcher.started.size(), 1u);
    const auto boxes = f.notices.boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_NE(boxes[0].text.find("open to other users"), std::string::npos) << boxes[0].text;
    EXPECT_EQ(boxes[0].caption, "알림");
    EXPECT_EQ(boxes[0].icon, platform::NoticeIcon::Stop);
    EXPECT_EQ(boxes[1].text, "컨텐츠등록 프로그램을 찾을수 없습니다.");
}

}  // namespace
}  // namespace quenvara::webcontrol
