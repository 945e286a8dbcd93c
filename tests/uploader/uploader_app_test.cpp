#include "uploader/app/upload_app.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <thread>

#include "handover_client/job_builder.h"
#include "handover_client/pipe_list_writer.h"
#include "platform/path_text.h"
#include "tests/support/recording_notices.h"
#include "tests/support/temp_dir.h"
#include "tests/support/virtual_clock.h"
#include "tests/uploader/window_harness.h"
#include "uploader/frontend/headless/headless_front_end.h"
#include "uploader/list/job_state.h"

namespace quenvara::uploader {
namespace {

using namespace std::chrono_literals;

// The whole application on its own window thread, in virtual time: a job
// handed over through the socket is started one second later, a fake engine
// finishes it, and with "창 닫기" on (the default) the program ends by itself.
TEST(UploaderApp, HeadlessRunEndsByItselfAfterCompletion) {
    testing::TempDir dir;
    testing::VirtualClock clock;
    testing::RecordingNotices notices;
    std::map<std::string, std::string> vars = {
        {"QUENVARA_PIPE_DIR", platform::utf8Text(dir / "pipes")},
        {"QUENVARA_CONFIG_DIR", platform::utf8Text(dir / "config")}};
    const std::string program = "QuenvaraUpLoad" + std::string(platform::executableSuffix());
    platform::EnvLookup env = [vars](const char* name) -> std::optional<std::string> {
        auto it = vars.find(name);
        return it == vars.end() ? std::nullopt : std::optional(it->second);
    };
    std::ostringstream out;
    HeadlessFrontEnd frontEnd(out, notices);
    UploaderApp app(UploaderEnvironment{notices, clock, env, dir / program, out, frontEnd, true});
    std::atomic<int> runs{0};
    app.setTransferFactory([&runs](int, const std::string&, EngineOperations& ops) {
        ++runs;
        return std::make_unique<testing_support::ScriptedThread>([&ops] {
            ops.runStarted();
            {
                auto guard = ops.list().lock();
                for (int row = 0; row < ops.list().rowCount(); ++row) {
                    ops.list().setJobState(row, job_state::kDone);
                }
            }
            ops.runEnded(RunEnd{0, false, true});
        });
    });

    int exitCode = -1;
    std::thread window([&] { exitCode = app.run(); });
    const auto socket = dir / "pipes" / platform::lowerAscii(program);
    for (int i = 0; i < 2000 && !platform::localPipeExists(socket); ++i) {
        std::this_thread::sleep_for(1ms);
    }
    testing::RecordingNotices clientNotices;
    platform::SystemClock realClock;
    handover::PipeListWriter writer(clientNotices, realClock, [&](std::string_view name) {
        return dir / "pipes" / std::string(name);
    });
    auto job = tools::buildUploadJob(dir.write("files/a.txt", "data"), {});
    ASSERT_TRUE(job);
    ASSERT_TRUE(writer.write(handover::makeServerAddressMessage(
        handover::ListMessageKind::ServerAddress, "127.0.0.1", 9000)));
    ASSERT_TRUE(writer.write(handover::makeUploadJobMessage(*job)));
    window.join();

    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(runs.load(), 1);
    EXPECT_NE(out.str().find("hand-over: upload job file " + job->localPath()), std::string::npos);
    EXPECT_NE(out.str().find("목록 1: a.txt"), std::string::npos);
    const auto texts = notices.texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "등록하기가 완료되었습니다."), texts.end());
    EXPECT_FALSE(platform::localPipeExists(socket));
}

// Started again while it runs (from the desktop menu, say), the second start
// has the running uploader show its window, and says why it ends in a box
// that names the program.
TEST(UploaderApp, ASecondStartShowsTheRunningWindowAndEnds) {
    testing::TempDir dir;
    testing::VirtualClock clock;
    platform::EnvLookup env = [&dir](const char* name) -> std::optional<std::string> {
        if (std::string_view(name) == "QUENVARA_PIPE_DIR") {
            return platform::utf8Text(dir / "pipes");
        }
        if (std::string_view(name) == "QUENVARA_CONFIG_DIR") {
            return platform::utf8Text(dir / "config");
        }
        return std::nullopt;
    };
    const std::string program = "QuenvaraUpLoad" + std::string(platform::executableSuffix());
    testing::RecordingNotices firstNotices;
    std::ostringstream firstOut;
    HeadlessFrontEnd firstFrontEnd(firstOut, firstNotices);
    UploaderApp first(UploaderEnvironment{firstNotices, clock, env, dir / program, firstOut,
                                          firstFrontEnd, true});
    std::thread running([&] { first.run(); });
    const auto socket = dir / "pipes" / platform::lowerAscii(program);
    for (int i = 0; i < 2000 && !platform::localPipeExists(socket); ++i) {
        std::this_thread::sleep_for(1ms);
    }

    // In real time: the first may take a moment before it listens.
    testing::RecordingNotices secondNotices;
    std::ostringstream secondOut;
    HeadlessFrontEnd secondFrontEnd(secondOut, secondNotices);
    platform::SystemClock realClock;
    UploaderApp second(UploaderEnvironment{secondNotices, realClock, env, dir / program, secondOut,
                                           secondFrontEnd});
    EXPECT_EQ(second.run(), UploaderApp::kExitAlreadyRunning);
    first.quit();
    running.join();

    const auto boxes = secondNotices.boxes();
    const auto box = std::find_if(boxes.begin(), boxes.end(),
                                  [](const auto& b) { return b.text == "이미 실행 중 입니다."; });
    ASSERT_NE(box, boxes.end());
    EXPECT_EQ(box->caption, "퀜바라 파일 올리기");
    EXPECT_NE(firstOut.str().find("a second start: the window is shown"), std::string::npos)
        << firstOut.str();
}

}  // namespace
}  // namespace quenvara::uploader
