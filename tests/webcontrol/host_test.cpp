// The native messaging host: its frame reader and the requests it answers.
#include <gtest/gtest.h>

#include <cstring>
#include <nlohmann/json.hpp>

#include "tests/webcontrol/control_fixture.h"
#include "webcontrol/host/host_session.h"
#include "webcontrol/host/native_message_reader.h"

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

TEST(NativeMessageReader, AnOversizedMessageIsRefusedAndTheNextOneStillRead) {
    const std::uint32_t big = NativeMessageReader::kMaxMessage + 1;
    Bytes bytes{frame(big, std::string(big, 'x')) + nativeMessageFrame("{}")};
    auto reader = bytes.reader();
    auto refused = reader.next();
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().find("over the 65536-byte limit"), std::string::npos);
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
        {R"({"id":1,"member":"SetOrvaneFile","args":[7]})",
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

}  // namespace
}  // namespace quenvara::webcontrol
