// The web-page control through its dispatch table, member by member, with
// scripted dialogs and a stand-in uploader.
#include <gtest/gtest.h>
#include <fstream>

#include "common/file_digest.h"
#include "platform/path_text.h"
#include "tests/support/special_paths.h"
#include "tests/webcontrol/control_fixture.h"

namespace quenvara::webcontrol {
namespace {

using Kind = handover::ListMessageKind;

// Paths as the control gives them back: UTF-8, the system's separators.
std::string pathText(const std::filesystem::path& path) {
    return platform::utf8Text(std::filesystem::path(path).make_preferred());
}
const std::string kSeparator(1, static_cast<char>(std::filesystem::path::preferred_separator));

bool linkFolder(const std::filesystem::path& target, const std::filesystem::path& link) {
    return testing::makeLink(target, link);
}

std::int32_t kindOf(const handover::ListMessage& m) {
    return m.kind;
}

TEST(DispatchTable, NineteenMembersInDispatchIdOrder) {
    const auto& members = dispatchMembers();
    ASSERT_EQ(members.size(), 19u);
    for (std::size_t i = 0; i < members.size(); ++i) {
        EXPECT_EQ(members[i].id, static_cast<int>(i) + 1);
    }
    EXPECT_EQ(findMember(10)->name, "RunUploadModule");
    EXPECT_EQ(findMember("SetOrvaneFile")->id, 19);
    EXPECT_EQ(findMember("NoSuchMember"), nullptr);
}

TEST(DispatchTable, ValuesConvertAsAScriptValueDoesAndOnlyTheRestIsRefused) {
    ControlFixture f;
    EXPECT_FALSE(invoke(f.ctrl(), "ShowSelectDlg", {}));
    EXPECT_FALSE(invoke(f.ctrl(), "SetUpValue", {std::string("등록자")}));
    EXPECT_FALSE(invoke(f.ctrl(), "Nothing", {}));
    auto error = invoke(f.ctrl(), "GetMusicInfo", {std::string("x")});
    ASSERT_FALSE(error);
    EXPECT_EQ(error.error(), "argument 1 of GetMusicInfo must be a whole number");
    for (const ControlValue& bad : {ControlValue{std::string("90 00")}, ControlValue{1e12},
                                    ControlValue{std::string("")}, ControlValue{}}) {
        EXPECT_FALSE(invoke(f.ctrl(), "dwServerPort", {bad}));
    }
    EXPECT_EQ(f.dialogs->asked(), 0u);
    // Written, then read back as the member's type.
    struct Case {
        const char* member;
        ControlValue written;
        ControlValue read;
    };
    std::vector<Case> cases = {
        {"dwServerPort", std::string("9000"), 9000},
        {"dwServerPort", std::string(" 1000 "), 1000},
        {"dwServerPort", 8999.5, 9000},
        {"dwServerPort", 5.0, 5},
        {"strCmdServerIP", 1001, std::string("1001")},
        {"strCmdServerIP", 1.5, std::string("1.5")},
        {"nUpActiveType", true, -1},
        {"nUpActiveType", std::string("0"), 0},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(invoke(f.ctrl(), c.member, {c.written})) << c.member;
        EXPECT_EQ(f.call(c.member), c.read) << c.member;
    }
    f.call("SetUpValue", {std::string("아이디"), 1001});
    EXPECT_EQ(f.ctrl().uploadValues().userNumber(), 1001);
}

TEST(Properties, ReadWriteAndThePropertyBag) {
    ControlFixture f;
    f.call("strCmdServerIP", {std::string("10.0.0.1")});
    f.call("dwServerPort", {9000});
    f.call("nUpActiveType", {1});
    EXPECT_EQ(f.text("strCmdServerIP"), "10.0.0.1");
    EXPECT_EQ(std::get<std::int32_t>(f.call("dwServerPort")), 9000);
    EXPECT_TRUE(f.ctrl().modified());
    const auto bag = f.ctrl().saveProperties();

    ControlFixture g;
    g.ctrl().loadProperties(bag);
    EXPECT_EQ(g.ctrl().strCmdServerIP(), "10.0.0.1");
    EXPECT_EQ(g.ctrl().dwServerPort(), 9000);
    EXPECT_EQ(g.ctrl().nUpActiveType(), 1);
    EXPECT_FALSE(g.ctrl().modified());
}

TEST(Properties, AServerAddressOfSixteenBytesIsRefusedNotWrittenOverThePort) {
    ControlFixture f;
    f.call("strCmdServerIP", {std::string("192.168.100.200")});  // 15 bytes
    f.call("strCmdServerIP", {std::string("192.168.100.2001")});
    EXPECT_EQ(f.ctrl().strCmdServerIP(), "192.168.100.200");
    ASSERT_EQ(f.notices.boxes().size(), 1u);
    EXPECT_EQ(f.notices.boxes()[0].caption, "알림");
}

TEST(Modes, AModeOtherThanZeroOrOneGivesEmptyTextsAndZero) {
    ControlFixture f;
    f.dir.write("a/x.txt", "abc");
    f.answer({pathText(f.dir / "a")});
    f.call("nUpActiveType", {2});
    EXPECT_EQ(f.text("ShowSelectDlg", {1}), "");
    EXPECT_EQ(f.dialogs->asked(), 0u);
    EXPECT_EQ(f.text("GetFileName"), "");
    EXPECT_EQ(f.text("GetFileSize"), "");
    EXPECT_EQ(f.text("GetFileList"), "");
    EXPECT_EQ(std::get<double>(f.call("GetRealFileSize")), 0.0);
    f.call("RunUploadModule");
    EXPECT_TRUE(f.launcher.started.empty());
    EXPECT_TRUE(std::get<bool>(f.call("IsSucessed")));
}

TEST(ShowSelectDlg, AFolderOfExactlyTheMaximumIsRefusedOneFewerAccepted) {
    ControlFixture f;
    // Three files, one of them in a sub-folder; the sub-folders do not count.
    f.dir.write("full/a.txt", "1");
    f.dir.write("full/sub/b.txt", "22");
    f.dir.write("full/sub/deeper/c.txt", "333");
    f.dir.write("fewer/a.txt", "1");
    f.dir.write("fewer/sub/b.txt", "22");
    std::filesystem::create_directories(f.dir / "fewer/empty/sub");
    f.answer({pathText(f.dir / "full"), pathText(f.dir / "fewer")});
    f.call("SetMaxFileCount", {3});

    EXPECT_EQ(f.text("ShowSelectDlg", {1}), "");
    ASSERT_EQ(f.notices.boxes().size(), 1u);
    EXPECT_EQ(f.notices.boxes()[0].text,
              "한번에 업로드 할수 있는 목록을 3 개 이상 만들수 없습니다.\n");
    EXPECT_EQ(f.notices.boxes()[0].icon, platform::NoticeIcon::Information);
    EXPECT_EQ(f.ctrl().uploadRecord().itemKind(), 0);  // left cleared

    EXPECT_EQ(f.text("ShowSelectDlg", {1}), pathText(f.dir / "fewer"));
    EXPECT_EQ(f.text("GetFileName"), "fewer");
    EXPECT_EQ(std::get<double>(f.call("GetRealFileSize")), 3.0);
    EXPECT_EQ(f.text("GetFileSize"), "3.0 B");
    const auto& record = f.ctrl().uploadRecord();
    EXPECT_EQ(record.itemKind(), 1);
    EXPECT_EQ(record.recordTag(), 4);
    EXPECT_EQ(record.folderName(), "fewer");
    EXPECT_EQ(record.parentFolder(), pathText(f.dir.path()) + kSeparator);
    EXPECT_EQ(f.ctrl().uploadValues().folderFlag(), 'Y');
    EXPECT_EQ(std::get<std::int32_t>(f.call("GetAllFileCount")), 2);
    EXPECT_EQ(f.text("GetAllFileList", {0}), "a.txt");
    EXPECT_EQ(f.text("GetAllFileList", {1}), "b.txt");
    EXPECT_FALSE(std::get<bool>(f.call("IsOpenSelectDlg")));
}

TEST(ShowSelectDlg, ASingleFileRunsTheMusicCensus) {
    ControlFixture f;
    const auto song = f.dir.write("노래.MP3", std::string(5000, 's'));
    const auto plain = f.dir.write("README", "text");
    f.answer({pathText(song), pathText(plain), ""});

    EXPECT_EQ(f.text("ShowSelectDlg", {2}), pathText(song));
    ASSERT_EQ(std::get<std::int32_t>(f.call("GetMusicCount")), 1);
    EXPECT_EQ(f.text("GetMusicInfo", {0}), "노래.MP3:**:5000:**:" + *fileDigest(song));
    const auto& record = f.ctrl().uploadRecord();
    EXPECT_EQ(record.itemKind(), 2);
    EXPECT_EQ(record.userNumberCopy(), 1);
    EXPECT_EQ(f.ctrl().uploadValues().folderFlag(), 'N');
    EXPECT_EQ(f.text("GetFileList"), "");  // a single file has no list

    // A name without an extension joins the file list, not the music list.
    EXPECT_EQ(f.text("ShowSelectDlg", {2}), pathText(plain));
    EXPECT_EQ(std::get<std::int32_t>(f.call("GetAllFileCount")), 1);
    EXPECT_EQ(f.text("GetAllFileList", {0}), "README");
    EXPECT_EQ(std::get<std::int32_t>(f.call("GetMusicCount")), 0);
    EXPECT_TRUE(std::get<bool>(f.call("CheckUploadFileSize", {pathText(plain)})));
    EXPECT_FALSE(std::get<bool>(f.call("CheckUploadFileSize", {pathText(song)})));

    // Cancelled: an empty text.
    EXPECT_EQ(f.text("ShowSelectDlg", {2}), "");
}

TEST(ShowSelectDlg, AnIndexOutsideAnArrayGivesAnEmptyValue) {
    ControlFixture f;
    EXPECT_TRUE(std::holds_alternative<std::monostate>(f.call("GetAllFileList", {0})));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(f.call("GetMusicInfo", {-1})));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(f.call("GetMusicInfo", {1 << 30})));
}

TEST(ShowSelectDlg, PageListModesFillTheAreaNotTheRecord) {
    ControlFixture f;
    const auto file = f.dir.write("docs/report.pdf", std::string(2048, 'r'));
    f.answer({pathText(file)});
    EXPECT_EQ(f.text("ShowSelectDlg", {4}), pathText(f.dir / "docs") + kSeparator);
    EXPECT_EQ(f.text("GetFileName"), "report.pdf");
    EXPECT_EQ(f.text("GetFileSize"), "2.0 K");
    EXPECT_EQ(f.ctrl().uploadRecord().itemKind(), 0);
}

TEST(GetFileList, SubFolderThenFileWithoutTheLeadingSlash) {
    ControlFixture f;
    std::filesystem::create_directories(f.dir / "top/A");
    f.dir.write("top/b", "x");
    f.answer({pathText(f.dir / "top")});
    f.text("ShowSelectDlg", {1});
    EXPECT_EQ(f.text("GetFileList"), "1|A/2|b");
}

TEST(SetUpValue, ValuesSetBeforeTheSelectionAreLost) {
    ControlFixture f;
    f.dir.write("album/a.txt", "1");
    f.answer({pathText(f.dir / "album")});
    f.call("SetUpValue", {std::string("등록자"), std::string("early")});
    f.text("ShowSelectDlg", {1});
    EXPECT_EQ(f.ctrl().uploadValues().registrantName(), "");
    f.call("SetUpValue", {std::string("등록자"), std::string("member01")});
    f.call("SetUpValue", {std::string("아이디"), std::string("1234.9")});
    f.call("SetUpValue", {std::string("SECTCODE"), std::string("07")});
    f.call("SetUpValue", {std::string("ADULT"), std::string("N")});
    f.call("SetUpValue", {std::string("파일및폴더명"), std::string("내 앨범")});
    f.call("SetUpValue", {std::string("unknown"), std::string("ignored")});
    const auto block = f.ctrl().uploadValues();
    EXPECT_EQ(block.registrantName(), "member01");
    EXPECT_EQ(block.userNumber(), 1234);
    EXPECT_EQ(f.ctrl().uploadRecord().userNumberCopy(), 1234);
    EXPECT_EQ(block.sectionCode(), "07");
    EXPECT_EQ(block.adultFlag(), "N");
    EXPECT_EQ(block.displayText(), "내 앨범");
}

TEST(SetUpValue, ALongValueIsRefusedWholeAndNeverSpills) {
    ControlFixture f;
    f.dir.write("album/a.txt", "1");
    f.answer({pathText(f.dir / "album")});
    f.text("ShowSelectDlg", {1});
    f.call("SetUpValue", {std::string("ADULT"), std::string("Y")});
    std::string longName;
    for (int i = 0; i < 15; ++i) {
        longName += "가";  // two bytes each in CP949; the field holds 28 and a terminator
    }
    f.call("SetUpValue", {std::string("등록자"), longName});
    const auto block = f.ctrl().uploadValues();
    EXPECT_EQ(block.registrantName(), "");
    EXPECT_EQ(f.notices.texts().size(), 1u);
    EXPECT_EQ(block.adultFlag(), "Y");
    // A number too large for 32 bits is not wrapped into another one.
    f.call("SetUpValue", {std::string("아이디"), std::string("99999999999")});
    EXPECT_EQ(f.ctrl().uploadValues().userNumber(), 0);
}

TEST(SetUpValue, PathKeysTakeOnlyWhatThePersonPickedAndSayNothingOfTheRest) {
    ControlFixture f;
    const auto inside = f.dir.write("picked/song.ogg", std::string(300, 'o'));
    f.dir.write("picked/sub/b.txt", "b");
    const auto secret = f.dir.write("private/id_key", std::string(99, 'k'));
    // Where folder links cannot be made (Windows without the privilege)
    // their case is left out.
    const bool linked = linkFolder(f.dir / "private", f.dir / "picked" / "link");
#ifndef _WIN32
    ASSERT_TRUE(linked);  // links are always there here: the case must run
#endif
    f.answer({pathText(f.dir / "picked")});
    ASSERT_NE(f.text("ShowSelectDlg", {3}), "");
    const std::string refused(CQuenvaraUploadControlCtrl::kRefusedPathText);
    struct Case {
        const char* key;
        std::filesystem::path path;
        std::string notice;  // "" when taken
    };
    std::vector<Case> cases = {
        {"파일경로", inside, ""},
        {"폴더경로", f.dir / "picked" / "sub", ""},
        {"파일경로", f.dir / "picked" / "gone.ogg", "파일을 찾지 못했습니다."},
        // Outside, existing or not, through ".." or a link: the same words.
        {"파일경로", secret, refused},
        {"파일경로", f.dir / "private" / "missing", refused},
        {"파일경로", f.dir / "picked" / ".." / "private" / "id_key", refused},
        {"폴더경로", f.dir / "private", refused},
        {"폴더경로", f.dir / "picked-not", refused},
    };
    if (linked) {
        cases.push_back({"파일경로", f.dir / "picked" / "link" / "id_key", refused});
    }
    for (const auto& c : cases) {
        f.notices.clear();
        f.call("SetUpValue", {std::string(c.key), pathText(c.path)});
        const auto shown = f.notices.texts();
        EXPECT_EQ(shown, c.notice.empty() ? std::vector<std::string>{}
                                          : std::vector<std::string>{c.notice})
            << c.path;
        if (c.notice == refused) {
            // Nothing of it was read or kept: nothing to list or send.
            EXPECT_EQ(f.ctrl().uploadRecord().itemName(), "") << c.path;
            EXPECT_EQ(f.text("GetFileList"), "") << c.path;
        }
    }
    f.call("SetUpValue", {std::string("파일경로"), pathText(inside)});
    EXPECT_EQ(f.ctrl().uploadRecord().itemName(), "song.ogg");
    EXPECT_EQ(f.ctrl().uploadRecord().itemSize(), 300.0);
    EXPECT_EQ(f.call("GetRealFileSize"), ControlValue{300.0});
    EXPECT_EQ(f.call("CheckUploadFileSize", {pathText(inside)}), ControlValue{true});
    f.call("SetUpValue", {std::string("파일크기"), std::string("99")});
    EXPECT_EQ(f.call("CheckUploadFileSize", {pathText(secret)}), ControlValue{false});
}

TEST(ShowSelectDlg, ARefusedNameLeavesTheWholeSelectionAsItWas) {
    const std::string emoji = "\xF0\x9F\x98\x80";
    struct Case {
        int mode;
        int select;
        bool folder;
    };
    for (const auto c :
         {Case{0, 2, false}, Case{0, 1, true}, Case{1, 1, true}, Case{1, 2, false}}) {
        ControlFixture f;
        f.call("nUpActiveType", {c.mode});
        const auto good = f.dir.write("good/first.bin", std::string(10, 'g'));
        f.dir.write(emoji + "/x.bin", std::string(20, 'x'));
        const auto bad = f.dir.write("bad" + emoji + ".bin", std::string(30, 'b'));
        const auto goodPick = c.folder ? f.dir / "good" : good;
        const auto badPick = c.folder ? f.dir / emoji : bad;
        f.answer({pathText(goodPick), pathText(badPick)});
        ASSERT_EQ(f.text("ShowSelectDlg", {c.select}), pathText(goodPick));
        const auto name = f.text("GetFileName");
        const auto size = f.call("GetRealFileSize");
        const auto files = f.call("GetAllFileCount");
        EXPECT_EQ(f.text("ShowSelectDlg", {c.select}), "") << c.mode << c.select;
        EXPECT_EQ(f.notices.texts().size(), 1u);
        EXPECT_EQ(f.text("GetFileName"), name);
        EXPECT_EQ(f.call("GetRealFileSize"), size);
        EXPECT_EQ(f.call("GetAllFileCount"), files);
    }
    ControlFixture f;
    f.call("SetUpValue", {std::string("등록자"), "me" + emoji});
    EXPECT_EQ(f.notices.texts().size(), 1u);
    EXPECT_EQ(f.ctrl().uploadValues().registrantName(), "");
}

TEST(ShowSelectDlg, ALinkThatLeadsInACircleIsNotWalked) {
    ControlFixture f;
    f.dir.write("album/a.bin", "a");
    f.dir.write("album/sub/b.bin", "bb");
    if (!linkFolder(".", f.dir / "album" / "loop") ||
        !linkFolder("..", f.dir / "album" / "sub" / "up")) {
        GTEST_SKIP() << "no symbolic links here";
    }
    f.answer({pathText(f.dir / "album")});
    ASSERT_EQ(f.text("ShowSelectDlg", {1}), pathText(f.dir / "album"));
    EXPECT_EQ(f.call("GetRealFileSize"), ControlValue{3.0});
    EXPECT_EQ(f.call("GetAllFileCount"), ControlValue{2});
}

TEST(SetUpValue, ASizeThatIsNoSizeIsRefusedAndAHugeMusicFileKeepsItsSize) {
    ControlFixture f;
    for (const char* bad : {"nan", "inf", "-1", "x"}) {
        f.notices.clear();
        f.call("SetUpValue", {std::string("파일크기"), std::string(bad)});
        EXPECT_EQ(f.notices.texts().size(), 1u) << bad;
        EXPECT_EQ(f.ctrl().uploadRecord().itemSize(), 0.0) << bad;
    }
    // A sparse 3 GiB "song": its description carries the whole size.
    const auto song = f.dir / "big.mp3";
    std::filesystem::create_directories(f.dir.path());
    { std::ofstream(song).put('x'); }
    std::filesystem::resize_file(song, 3ull << 30);
    f.answer({pathText(song)});
    ASSERT_EQ(f.text("ShowSelectDlg", {2}), pathText(song));
    const auto info = std::get<std::string>(f.call("GetMusicInfo", {0}));
    EXPECT_NE(info.find(":**:3221225472:**:"), std::string::npos) << info;
}

TEST(SetOrvaneFile, TwoRecordsAreReadFromTheEnd) {
    const auto entries = parseMusicListText("YNa.mp3:**:NNb.mp3");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].fileNameBytes(), "b.mp3");
    EXPECT_EQ(entries[0].musicChecked(), 'N');
    EXPECT_EQ(entries[0].secondFlag(), 'N');
    EXPECT_EQ(entries[1].fileNameBytes(), "a.mp3");
    EXPECT_EQ(entries[1].musicChecked(), 'Y');
    EXPECT_EQ(entries[1].secondFlag(), 'N');
    // A record too short for its flags gets "N".
    const auto shortOne = parseMusicListText("Y");
    ASSERT_EQ(shortOne.size(), 1u);
    EXPECT_EQ(shortOne[0].secondFlag(), 'N');
    EXPECT_TRUE(parseMusicListText("").empty());
}

class RunUploadModuleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        song = f.dir.write("곡.mp3", std::string(4000, 'm'));
        f.dir.write("album/a.mp3", "aaaa");
        f.dir.write("album/b.mp3", "bbbbbb");
        f.call("strCmdServerIP", {std::string("127.0.0.1")});
        f.call("dwServerPort", {9000});
    }
    std::vector<std::int32_t> kinds() {
        std::vector<std::int32_t> out;
        for (const auto& m : f.messages()) {
            out.push_back(kindOf(m));
        }
        return out;
    }
    ControlFixture f;
    std::filesystem::path song;
};

TEST_F(RunUploadModuleTest, TwiceSendsTheSequenceTwiceAndReusesTheRunningUploader) {
    f.answer({pathText(f.dir / "album")});
    f.text("ShowSelectDlg", {1});
    f.call("SetOrvaneFile", {std::string("YNa.mp3:**:NNb.mp3")});
    f.call("RunUploadModule");
    f.call("RunUploadModule");
    ASSERT_EQ(f.launcher.started.size(), 1u);
    EXPECT_EQ(f.launcher.started[0][0], pathText(f.dir / "system" / "QuenvaraUpLoad") +
                                            std::string(platform::executableSuffix()));
    const std::int32_t address = static_cast<std::int32_t>(Kind::ServerAddress);
    const std::int32_t music = static_cast<std::int32_t>(Kind::MusicList);
    const std::int32_t job = static_cast<std::int32_t>(Kind::UploadJob);
    EXPECT_EQ(kinds(), (std::vector<std::int32_t>{address, music, job, address, music, job}));
    const auto messages = f.messages();
    EXPECT_EQ(messages[0].payload.size(), 20u);
    EXPECT_EQ(messages[1].payload.size(), 2 * handover::kMusicListEntrySize);
    EXPECT_EQ(messages[2].payload.size(), 7972u);
    auto record = UploadJobRecord::fromBytes(messages[2].payload);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->itemKind(), 1);
    EXPECT_EQ(record->itemSize(), 10.0);
}

TEST_F(RunUploadModuleTest, NoMusicListTextSendsNoMusicListMessage) {
    f.answer({pathText(f.dir / "album")});
    f.text("ShowSelectDlg", {1});
    f.call("RunUploadModule");
    EXPECT_EQ(kinds(), (std::vector<std::int32_t>{0, 4}));
}

TEST_F(RunUploadModuleTest, ASectionSevenSingleFileCarriesFlagY) {
    f.answer({pathText(song)});
    f.text("ShowSelectDlg", {2});
    f.call("SetUpValue", {std::string("SECTCODE"), std::string("07")});
    f.call("RunUploadModule");
    ASSERT_EQ(kinds(), (std::vector<std::int32_t>{0, 4}));
    auto record = UploadJobRecord::fromBytes(f.messages()[1].payload);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->musicCheckedFlag(), 'Y');
    EXPECT_EQ(record->userValues().sectionCode(), "07");
}

TEST_F(RunUploadModuleTest, ASingleFileTakesTheFirstEntrysFlagsAndAnEmptyMusicList) {
    f.answer({pathText(song)});
    f.text("ShowSelectDlg", {2});
    f.call("SetOrvaneFile", {std::string("NY곡.mp3")});
    f.call("RunUploadModule");
    ASSERT_EQ(kinds(), (std::vector<std::int32_t>{0, 13, 4}));
    EXPECT_TRUE(f.messages()[1].payload.empty());
    auto record = UploadJobRecord::fromBytes(f.messages()[2].payload);
    EXPECT_EQ(record->musicCheckedFlag(), 'N');
    EXPECT_EQ(record->musicListFlag(), 'Y');
}

TEST_F(RunUploadModuleTest, MyStorageModeSendsTheAddressAndTheRecordAsKindThree) {
    f.call("nUpActiveType", {1});
    f.answer({pathText(f.dir / "album")});
    EXPECT_EQ(f.text("ShowSelectDlg", {1}), pathText(f.dir / "album"));
    f.call("SetUpValue", {std::string("등록자"), std::string("member01")});
    f.call("SetOrvaneFile", {std::string("YNa.mp3")});  // not sent in this mode
    f.call("RunUploadModule");
    ASSERT_EQ(kinds(), (std::vector<std::int32_t>{3, 3}));
    const auto messages = f.messages();
    EXPECT_EQ(messages[0].payload.size(), 20u);
    handover::ServerAddressPayload address(FixedBlock<20>::fromBytes(messages[0].payload).value());
    EXPECT_EQ(address.address(), "127.0.0.1");
    EXPECT_EQ(address.port(), 9000);
    auto record = MyStorageJobRecord::fromBytes(messages[1].payload);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->recordTag(), 3);
    EXPECT_EQ(record->userValues().registrantName(), "member01");
    EXPECT_EQ(std::get<std::int32_t>(f.call("GetAllFileCount")), 0);  // no census
}

TEST(ShowSelectDlgMyStorage, AFolderOverALowMaximumIsRefusedNotTakenWithSizeZero) {
    ControlFixture f;
    for (int i = 0; i < 5; ++i) {
        f.dir.write("many/f" + std::to_string(i), "12345");
    }
    f.dir.write("few/f", "12345");
    f.answer({pathText(f.dir / "many"), pathText(f.dir / "few")});
    f.call("nUpActiveType", {1});
    f.call("SetMaxFileCount", {3});
    EXPECT_EQ(f.text("ShowSelectDlg", {1}), "");
    EXPECT_EQ(
        f.notices.texts(),
        std::vector<std::string>{"한번에 업로드 할수 있는 목록을 3 개 이상 만들수 없습니다.\n"});
    EXPECT_EQ(f.text("ShowSelectDlg", {1}), pathText(f.dir / "few"));
    EXPECT_EQ(std::get<double>(f.call("GetRealFileSize")), 5.0);
    EXPECT_EQ(f.ctrl().myStorageRecord().recordTag(), 3);
}

TEST_F(RunUploadModuleTest, WithoutASelectionOrAfterARefusedPathNothingIsSent) {
    f.call("RunUploadModule");
    EXPECT_TRUE(f.launcher.started.empty());
    EXPECT_TRUE(f.messages().empty());
    EXPECT_EQ(f.notices.texts(), std::vector<std::string>{"올릴 파일이나 폴더를 먼저 선택하세요."});
    // A folder picked, then a page path outside it: the job is dropped.
    const auto outside = f.dir.write("private/key", "k");
    for (const int mode : {0, 1}) {
        f.call("nUpActiveType", {mode});
        f.answer({pathText(f.dir / "album")});
        ASSERT_EQ(f.text("ShowSelectDlg", {1}), pathText(f.dir / "album"));
        f.call("SetUpValue", {std::string("파일경로"), pathText(outside)});
        f.call("RunUploadModule");
        EXPECT_TRUE(f.launcher.started.empty()) << mode;
        EXPECT_TRUE(f.messages().empty()) << mode;
    }
}

TEST_F(RunUploadModuleTest, AnUploaderThatNeverAppearsIsReportedAfterThirtyAttempts) {
    f.launcher.uploaderStarts = false;
    f.answer({pathText(song)});
    f.text("ShowSelectDlg", {2});
    f.call("RunUploadModule");
    EXPECT_EQ(f.launcher.started.size(), 1u);
    EXPECT_EQ(f.clock.sleeps().size(), 60u);  // 30 × (300 ms, 500 ms)
    EXPECT_EQ(f.notices.texts(),
              std::vector<std::string>{"컨텐츠등록 프로그램을 찾을수 없습니다."});
}

TEST_F(RunUploadModuleTest, MoreMusicRecordsThanTheBufferHoldsAreCutWithAMessage) {
    f.call("SetMaxFileCount", {3});
    f.answer({pathText(f.dir / "album")});
    f.text("ShowSelectDlg", {1});
    f.call("SetOrvaneFile", {std::string("NNa:**:NNb:**:NNc:**:NNd:**:NNe")});
    f.call("RunUploadModule");
    ASSERT_EQ(kinds(), (std::vector<std::int32_t>{0, 13, 4}));
    EXPECT_EQ(f.messages()[1].payload.size(), 3 * handover::kMusicListEntrySize);
    ASSERT_EQ(f.notices.boxes().size(), 1u);
    EXPECT_EQ(f.notices.boxes()[0].icon, platform::NoticeIcon::Warning);
}

}  // namespace
}  // namespace quenvara::webcontrol
