// A page on an allowed origin, after the person picked one folder, tries to
// reach what the person never picked: every attempt is refused, and the
// records the control would hand over name only places inside the pick.
#include <gtest/gtest.h>

#include <atomic>

#include "protocol/record_path.h"
#include "tests/webcontrol/control_fixture.h"

namespace quenvara::webcontrol {
namespace {

namespace fs = std::filesystem;

class PageEscapeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        f.dir.write("pick/a.txt", "a");
        f.dir.write("pick/sub/b.txt", "bb");
        fs::create_directories(f.dir / "pick" / "zzz");
        f.dir.write("secret/id_key", "private key");
        f.dir.write("secret/x/y", "more");
        f.answer({pick()});
        ASSERT_EQ(f.text("ShowSelectDlg", {1}), pick());
    }

    std::string pick() const { return (f.dir / "pick").string(); }

    void set(const std::string& key, const std::string& value) {
        f.call("SetUpValue", {key, value});
    }

    // What the control would hand over and what it told the page, checked
    // against the pick.
    void expectNothingOutside(const std::string& what) {
        const auto& record = f.ctrl().uploadRecord();
        if (!record.itemNameBytes().empty()) {
            EXPECT_TRUE(record_path::isInside(record.localPath(), pick())) << what;
            EXPECT_TRUE(record_path::isInside(record.folderPath(), pick())) << what;
            EXPECT_TRUE(record_path::checkPlain(record.localPath())) << what;
        }
        EXPECT_NE(f.text("GetFileName"), "..") << what;
        const auto list = f.text("GetFileList");
        EXPECT_EQ(list.find("secret"), std::string::npos) << what << ": " << list;
        EXPECT_EQ(list.find("pick"), std::string::npos) << what << ": " << list;
    }

    ControlFixture f;
};

TEST_F(PageEscapeTest, EscapeTextsAreRefusedAndTheRecordAsBuiltStaysInsideThePick) {
    const std::string refused(CQuenvaraUploadControlCtrl::kRefusedPathText);
    // A text whose first 511 bytes walk out of the pick and whose rest walks
    // back in: the whole text resolves inside, a cut one would not.
    std::string cut = pick();
    while (cut.size() < 480) {
        cut += "/.";
    }
    cut += "/../../secret/";
    while (cut.size() < 600) {
        cut += "../";
    }
    cut += fs::path(pick()).relative_path().string() + "/zzz/y";
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> calls;  // key, value
    };
    const Case cases[] = {
        {"backslash", {{"폴더경로", pick() + "/."}, {"폴더경로", pick() + "/..\\secret/x"}}},
        {"backslash alone", {{"폴더경로", pick() + "\\..\\..\\secret"}}},
        {"cut at 511", {{"폴더경로", cut}}},
        {"leftover name",
         {{"폴더경로", pick() + "/sub/.."}, {"폴더경로", pick() + "/nothing-here"}}},
        {"file through ..", {{"파일경로", pick() + "/sub/../../secret/id_key"}}},
        {"relative", {{"파일경로", "pick/a.txt"}}},
    };
    for (const auto& c : cases) {
        f.notices.clear();
        for (const auto& [key, value] : c.calls) {
            set(key, value);
        }
        expectNothingOutside(c.what);
        const auto shown = f.notices.texts();
        EXPECT_NE(std::find(shown.begin(), shown.end(), refused), shown.end()) << c.what;
    }
    // A folder inside the pick still works, and the leftover name is gone.
    f.notices.clear();
    set("폴더경로", pick() + "/sub");
    set("폴더경로", pick() + "/nothing-here");
    EXPECT_EQ(f.notices.texts(), std::vector<std::string>{"폴더를 찾지 못했습니다."});
    EXPECT_EQ(f.text("GetFileName"), "sub");
    EXPECT_EQ(f.text("GetFileList"), "2|b.txt");
    expectNothingOutside("sub");
}

TEST_F(PageEscapeTest, AValueTooLongForItsFieldIsRefusedWholeAndNothingOfItIsKept) {
    // A real folder inside the pick whose path does not fit the 511 bytes
    // of the parent folder field.
    std::string deep = "pick";
    while ((f.dir / deep).string().size() < 530) {
        deep += "/" + std::string(40, 'd');
    }
    f.dir.write(deep + "/leaf/file.bin", "x");
    set("폴더경로", pick() + "/sub");
    f.notices.clear();
    set("폴더경로", (f.dir / deep / "leaf").string());
    ASSERT_EQ(f.notices.texts().size(), 1u);
    EXPECT_NE(f.notices.texts()[0].find("너무 깁니다"), std::string::npos) << f.notices.texts()[0];
    EXPECT_EQ(f.text("GetFileName"), "sub");
    EXPECT_EQ(f.ctrl().uploadRecord().parentFolder(), pick() + "/");
    // Page values too: refused whole, the field keeps what it had.
    set("등록자", "member");
    f.notices.clear();
    set("등록자", std::string(29, 'r'));
    EXPECT_EQ(f.notices.texts().size(), 1u);
    EXPECT_EQ(f.ctrl().uploadValues().registrantName(), "member");
}

TEST_F(PageEscapeTest, RefusedTextsNeverReachTheDiskWhetherTheyExistOrNot) {
    std::atomic<int> lookups{0};
    const auto counting = [&lookups](const fs::path& p, std::error_code& e) {
        ++lookups;
        return fs::weakly_canonical(p, e);
    };
    CQuenvaraUploadControlCtrl control(
        ControlServices{f.notices, f.clock, f.processes, f.launcher, f.forwarding, f.env,
                        f.dir.path(), [](const std::function<void()>& w) { w(); }, counting},
        f.module);
    f.answer({pick()});
    ASSERT_EQ(control.ShowSelectDlg(1), pick());
    std::string dots;
    for (int i = 0; i < 2000; ++i) {
        dots += "/.";
    }
    const std::string texts[] = {
        (f.dir / "secret").string() + dots + "/x",  // exists
        (f.dir / "missing").string() + dots + "/x",
        (f.dir / "secret" / "id_key").string(),
        "/etc/passwd",
        pick() + dots + "/a.txt",
        pick() + std::string(5000, '/') + "a.txt",
    };
    for (const auto& text : texts) {
        EXPECT_FALSE(control.CheckUploadFileSize(text)) << text.substr(0, 80);
        control.SetUpValue("파일경로", text);
    }
    EXPECT_EQ(lookups, 0);
    // A plain text inside the pick is looked up, once.
    control.SetUpValue("파일경로", pick() + "/a.txt");
    EXPECT_EQ(lookups, 1);
    EXPECT_EQ(control.uploadRecord().itemName(), "a.txt");
}

TEST_F(PageEscapeTest, ALinkInsideThePickThatLeadsOutIsRefusedWhereItLeads) {
    fs::create_directory_symlink(f.dir / "secret", f.dir / "pick" / "out");
    fs::create_symlink(f.dir / "secret" / "id_key", f.dir / "pick" / "key");
    fs::create_symlink(f.dir / "pick" / "a.txt", f.dir / "pick" / "in");
    const std::string refused(CQuenvaraUploadControlCtrl::kRefusedPathText);
    for (const auto& [key, path] :
         std::vector<std::pair<std::string, std::string>>{{"폴더경로", pick() + "/out"},
                                                          {"파일경로", pick() + "/out/id_key"},
                                                          {"파일경로", pick() + "/key"},
                                                          {"폴더경로", pick() + "/out/missing"}}) {
        f.notices.clear();
        set(key, path);
        EXPECT_EQ(f.notices.texts(), std::vector<std::string>{refused}) << path;
        expectNothingOutside(path);
    }
    // A link that stays inside names its real place in the record.
    set("파일경로", pick() + "/in");
    EXPECT_EQ(f.ctrl().uploadRecord().localPath(), pick() + "/a.txt");
}

}  // namespace
}  // namespace quenvara::webcontrol
