// A music-section file through the whole uploader: the intake's music check
// goes through libQuenvaraMF.so to the HTTPS filter service, and the content
// key it accepts reaches the upload service inside the job record.
#include <gtest/gtest.h>

#include <cstdlib>

#include "handover_client/job_builder.h"
#include "musicfilter/content_key.h"
#include "service/filter_service.h"
#include "service/reference_service.h"
#include "tests/uploader/window_harness.h"
#include "uploader/app/music_filter_binding.h"
#include "uploader/transfer/c_file_socket.h"

namespace quenvara::uploader {
namespace {

using namespace std::chrono_literals;

class AlwaysContinue final : public ResumeQuestionDialog {
  public:
    Answer ask(const std::string&) override { return {}; }
};

TEST(MusicUpload, AcceptedKeyTravelsInTheRecord) {
    testing::TempDir dir;
    service::FilterService filter(dir / "tls");
    std::string error;
    ASSERT_TRUE(filter.start(error)) << error;
    ::setenv("QUENVARA_FILTER_URL", filter.baseUrl().c_str(), 1);
    ::setenv("QUENVARA_FILTER_CAFILE", filter.caFile().c_str(), 1);
    service::ReferenceService::Options options;
    options.storage = dir / "store";
    service::ReferenceService uploads(options);
    ASSERT_TRUE(uploads.start(error)) << error;

    const auto song = dir.write("music/song.mp3", std::string(40'000, 's'));
    const auto key = musicfilter::contentKey(song).key;
    // Known to the filter service, with status 02 (accepted).
    filter.script("/P2P/quenvaraSearch01.jsp", key, {{200, "000<br>02"}});

    testing::VirtualClock clock;
    testing::ManualEventLoop loop(clock);
    testing::RecordingNotices notices;
    testing_support::RecordingNotifier notifier;
    testing_support::FakeShutdown shutdown;
    testing_support::FakeLauncher launcher;
    MusicFilterBinding binding(notices, "QuenvaraUpLoad");
    ASSERT_TRUE(binding.loaded()) << (notices.texts().empty() ? "" : notices.texts()[0]);
    platform::PosixTcpConnector connector;
    AlwaysContinue question;
    UploadMainWindow window(
        WindowServices{loop, clock, notices, notifier, binding, shutdown, launcher, nullptr, ""});
    window.initialise(UploadSettings{});
    window.setTransferFactory(CFileSocket::factory(TransferServices{
        clock, notices, connector, question, std::make_shared<RegisteredRecords>()}));

    ASSERT_TRUE(window.onCopyData(handover::makeServerAddressMessage(
        handover::ListMessageKind::ServerAddress, "127.0.0.1", uploads.commandPort())));
    ASSERT_TRUE(window.onCopyData(handover::makeMusicListMessage(
        std::vector{handover::MusicListEntry('N', 'Y', "song.mp3")})));
    tools::PageValues values;
    values.sectionCode = "07";
    values.registrant = "member";
    auto record = tools::buildUploadJob(song, values);
    ASSERT_TRUE(record);
    ASSERT_TRUE(window.onCopyData(handover::makeUploadJobMessage(*record)));

    loop.advance(1000ms);  // the run starts
    window.session().waitForCurrent();
    ASSERT_EQ(window.list().jobState(0), "완료");
    const auto received = uploads.receivedRecords();
    ASSERT_EQ(received.size(), 1u);
    const auto sent = UploadJobRecord::fromBytes(received[0]);
    EXPECT_EQ(sent->contentKey(), key);
    EXPECT_EQ(sent->musicCheckedFlag(), 'Y');
    // One key query at intake (UP), one status query (DN).
    const auto forms = filter.received();
    ASSERT_EQ(forms.size(), 2u);
    EXPECT_EQ(forms[0].fields.at("upload"), "UP");
    EXPECT_EQ(forms[1].fields.at("upload"), "DN");
    uploads.stop();
    filter.stop();
}

}  // namespace
}  // namespace quenvara::uploader
