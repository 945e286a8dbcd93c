// The native messaging host: its frame reader and the requests it answers.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <future>
#include <nlohmann/json.hpp>
#include <thread>

#include "tests/webcontrol/control_fixture.h"
#include "webcontrol/host/host_loop.h"
#include "webcontrol/host/host_session.h"
#include "webcontrol/host/native_message_reader.h"
#include "webcontrol/host/unlocked_waits.h"

namespace quenvara::webcontrol {
namespace {

using nlohmann::json;

std::string frame(std::uint32_t length, std::string_view body) {
    std::string out(4, '\0');
    std::memcpy(out.data(), &length, 4);
    return out + std::string(body);
}

// A reader over bytes in memory, handing them out a few at a time.
struct Bytes {
    std::string data;
    std::size_t at = 0;
    NativeMessageReader reader() {
        return NativeMessageReader([this](void* buffer, std::size_t size) -> long {
            const std::size_t n = std::min({size, data.size() - at, std::size_t{3}});
            std::memcpy(buffer, data.data() + at, n);
            at += n;
            return static_cast<long>(n);
        });
    }
};

TEST(NativeMessageReader, MessagesInARowThenACleanEnd) {
    Bytes bytes{frame(7, "{\"a\":1}") + nativeMessageFrame("[]")};
    auto reader = bytes.reader();
    EXPECT_EQ(reader.next()->value(), "{\"a\":1}");
    EXPECT_EQ(reader.next()->value(), "[]");
    auto end = reader.next();
    ASSERT_TRUE(end);
    EXPECT_FALSE(end->has_value());
}

TEST(NativeMessageReader, TheLongestMusicListIsTakenAndALargerMessageRefusedUnderItsId) {
    // 2,032 names of 170 Korean characters, as a page sends SetOrvaneFile.
    std::string list;
    for (int i = 0; i < 2032; ++i) {
        list += (i ? ":**:" : "") + std::string("NY");
        for (int c = 0; c < 170; ++c) {
            list += "곡";
        }
    }
    const std::string longest =
        json({{"id", 1}, {"member", "SetOrvaneFile"}, {"args", {list}}}).dump();
    const std::uint32_t big = NativeMessageReader::kMaxMessage + 1;
    const std::string oversized =
        R"({"id":42,"member":"SetOrvaneFile","args":[")" + std::string(big - 42, 'x') + R"("]})";
    Bytes bytes{nativeMessageFrame(longest) +
                frame(static_cast<std::uint32_t>(oversized.size()), oversized) +
                nativeMessageFrame("{}")};
    auto reader = bytes.reader();
    EXPECT_EQ(reader.next()->value(), longest);
    auto refused = reader.next();
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().find("-byte limit"), std::string::npos);
    EXPECT_EQ(reader.refusedId(), "42");
    EXPECT_EQ(json::parse(HostSession::errorAnswer(refused.error(), reader.refusedId()))["id"], 42);
    EXPECT_FALSE(reader.broken());
    EXPECT_EQ(reader.next()->value(), "{}");
}

TEST(NativeMessageReader, ACutOrAbsurdStreamIsBroken) {
    for (const std::string& data : {std::string("\x05\x00", 2), frame(10, "short"),
                                    frame(NativeMessageReader::kMaxSkipped + 1, "x")}) {
        Bytes bytes{data};
        auto reader = bytes.reader();
        EXPECT_FALSE(reader.next());
        EXPECT_TRUE(reader.broken());
        EXPECT_FALSE(reader.next());
    }
}

class HostSessionTest : public ::testing::Test {
  protected:
    json ask(const std::string& request) {
        const auto answer = json::parse(session.handle(request), nullptr, false);
        EXPECT_FALSE(answer.is_discarded());
        return answer;
    }
    ControlFixture f;
    CollectingNotices notices;
    std::unique_ptr<CQuenvaraUploadControlCtrl> control =
        std::make_unique<CQuenvaraUploadControlCtrl>(
            ControlServices{notices, f.clock, f.processes, f.launcher, f.forwarding, f.env,
                            f.dir.path()},
            f.module);
    HostSession session{*control, notices};
};

TEST_F(HostSessionTest, AnswersACallWithItsIdAndResult) {
    f.dir.write("album/a.mp3", "aaa");
    f.answer({(f.dir / "album").string()});
    EXPECT_EQ(ask(R"({"id":1,"member":"ShowSelectDlg","args":[1]})"),
              json({{"id", 1}, {"result", (f.dir / "album").string()}}));
    EXPECT_EQ(ask(R"({"id":"b","member":"GetMusicCount"})"), json({{"id", "b"}, {"result", 1}}));
    EXPECT_EQ(ask(R"({"id":3,"member":"GetRealFileSize"})")["result"], 3.0);
    EXPECT_EQ(ask(R"({"id":4,"member":"GetAllFileList","args":[9]})")["result"], nullptr);
    EXPECT_EQ(ask(R"({"id":5,"member":"dwServerPort","args":[9000]})"),
              json({{"id", 5}, {"result", nullptr}}));
    EXPECT_EQ(ask(R"({"id":6,"member":"dwServerPort"})")["result"], 9000);
    // Boxes shown during a call come back with it.
    const auto answer = ask(R"({"id":7,"member":"strCmdServerIP","args":["1234567890123456"]})");
    ASSERT_TRUE(answer.contains("notices"));
    EXPECT_EQ(answer["notices"].size(), 1u);
}

TEST_F(HostSessionTest, BadRequestsGetAnErrorAndTheHostGoesOn) {
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"not json", "the request is not a JSON object"},
        {"[1,2]", "the request is not a JSON object"},
        {R"({"id":[1],"member":"GetFileName"})", "the request's id must be a number or a text"},
        {R"({"id":1})", "the request names no member"},
        {R"({"id":1,"member":5})", "the request names no member"},
        {R"({"id":1,"member":"Format"})", "the control has no member Format"},
        {R"({"id":1,"member":"GetFileName","args":{}})",
         "args must be an array of at most 4 values"},
        {R"({"id":1,"member":"SetOrvaneFile","args":[{"a":1}]})",
         "argument 1 is not a plain value"},
        {R"({"id":1,"member":"SetOrvaneFile","args":[true]})",
         "argument 1 of SetOrvaneFile must be a text"},
        {R"({"id":1,"member":"ShowSelectDlg","args":[4294967296]})",
         "argument 1 of ShowSelectDlg must be a whole number"},
    };
    for (const auto& [request, error] : bad) {
        EXPECT_EQ(ask(request)["error"], error) << request;
    }
    EXPECT_EQ(ask(R"({"id":9,"member":"IsSucessed"})")["result"], true);
    EXPECT_EQ(f.dialogs->asked(), 0u);
}

// A folder dialog that stays open until the test lets it close.
class WaitingDialogs final : public platform::FileDialogs {
  public:
    std::optional<std::string> browseFolder(std::string_view) override {
        opened.set_value();
        closed.get_future().wait();
        return chosen;
    }
    std::optional<std::string> openFile(std::string_view) override { return std::nullopt; }
    std::promise<void> opened;
    std::promise<void> closed;
    std::string chosen;
};

TEST(HostLoop, QueriesAreAnsweredWhileADialogIsOpenASecondIsRefusedAndTheNextMayFollowTheAnswer) {
    ControlFixture f;
    f.dir.write("album/a.bin", "a");
    CollectingNotices notices;
    ControlLock controlLock;
    WaitingDialogs waiting;
    waiting.chosen = (f.dir / "album").string();
    UnlockedDialogs dialogs(waiting, controlLock);
    CQuenvaraUploadControlCtrl control(
        ControlServices{notices, f.clock, f.processes, f.launcher, dialogs, f.env, f.dir.path()},
        f.module);
    HostSession session(control, notices, &controlLock);
    std::mutex mutex;
    std::condition_variable written;
    std::vector<json> answers;
    HostLoop loop(session, [&](const std::string& answer) {
        const auto parsed = json::parse(answer);
        {
            std::lock_guard lock(mutex);
            answers.push_back(parsed);
            written.notify_all();
        }
        // The page may send its next long call the moment it reads the
        // dialog's answer, before the writing thread has moved on.
        if (parsed["id"] == 1) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        return true;
    });
    const auto answer = [&](std::size_t n) {
        std::unique_lock lock(mutex);
        EXPECT_TRUE(
            written.wait_for(lock, std::chrono::seconds(10), [&] { return answers.size() > n; }));
        return answers.size() > n ? answers[n] : json();
    };
    ASSERT_TRUE(loop.dispatch(R"({"id":1,"member":"ShowSelectDlg","args":[1]})"));
    waiting.opened.get_future().wait();
    ASSERT_TRUE(loop.dispatch(R"({"id":2,"member":"IsOpenSelectDlg"})"));
    EXPECT_EQ(answer(0), json({{"id", 2}, {"result", true}}));
    ASSERT_TRUE(loop.dispatch(R"({"id":3,"member":"ShowSelectDlg","args":[2]})"));
    EXPECT_EQ(answer(1), json({{"id", 3}, {"error", "a selection dialog is already open"}}));
    waiting.closed.set_value();
    EXPECT_EQ(answer(2), json({{"id", 1}, {"result", waiting.chosen}}));
    ASSERT_TRUE(loop.dispatch(R"({"id":4,"member":"RunUploadModule"})"));
    EXPECT_FALSE(answer(3).contains("error")) << answer(3);
    loop.finish();
    ASSERT_TRUE(loop.dispatch(R"({"id":5,"member":"IsOpenSelectDlg"})"));
    EXPECT_EQ(answer(4), json({{"id", 5}, {"result", false}}));
}

TEST_F(HostSessionTest, AnAnswerOverTheBrowsersLimitBecomesAnErrorUnderItsId) {
    // A folder listing of about 1.1 MB.
    for (int i = 0; i < 4500; ++i) {
        std::filesystem::create_directories(f.dir / "wide" /
                                            (std::string(230, 'd') + std::to_string(i)));
    }
    f.answer({(f.dir / "wide").string()});
    ask(R"({"id":1,"member":"ShowSelectDlg","args":[1]})");
    const auto text = session.handle(R"({"id":2,"member":"GetFileList"})");
    EXPECT_LT(text.size(), HostSession::kMaxAnswer);
    const auto answer = json::parse(text);
    EXPECT_EQ(answer["id"], 2);
    EXPECT_NE(answer["error"].get<std::string>().find("over the browser's limit"),
              std::string::npos);
}

}  // namespace
}  // namespace quenvara::webcontrol
