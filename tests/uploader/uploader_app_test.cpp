#include "uploader/app/upload_app.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <thread>

#include "handover_client/job_builder.h"
#include "handover_client/pipe_list_writer.h"
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
    std::map<std::string, std::string> vars = {{"QUENVARA_PIPE_DIR", (dir / "pipes").string()},
                                               {"QUENVARA_CONFIG_DIR", (dir / "config").string()}};
    platform::EnvLookup env = [vars](const char* name) -> std::optional<std::string> {
        auto it = vars.find(name);
        return it == vars.end() ? std::nullopt : std::optional(it->second);
    };
    std::ostringstream out;
    HeadlessFrontEnd frontEnd(out, notices);
    UploaderApp app(
        UploaderEnvironment{notices, clock, env, dir / "QuenvaraUpLoad", out, frontEnd, true});
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
    const auto socket = dir / "pipes" / "quenvaraupload";
    for (int i = 0; i < 2000 && !std::filesystem::exists(socket); ++i) {
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
    EXPECT_FALSE(std::filesystem::exists(socket));
}

}  // namespace
}  // namespace quenvara::uploader
