// The transfer engine against the reference service on loopback, in virtual
// time: every wait of the engine (connect retries, the pause before 512, the
// pause after a broken transfer, the 189 s restart) passes at once.
#include <set>
#include <thread>
#include "platform/path_text.h"
#include "tests/uploader/transfer_fixture.h"

namespace quenvara::uploader {
namespace {

using namespace std::chrono_literals;
using testing_transfer::readAll;
using testing_transfer::TransferTest;

TEST_F(TransferTest, SingleEmptyAndOneChunkFilesArriveIdentical) {
    h.window.clickCheckBox(control::kCloseWindowCheck);  // keep the window to look at it
    startService();
    const auto a = file("한글 이름.bin", 100'000);  // Hangul: CP949 in records, UTF-8 on disk
    const auto empty = file("empty.bin", 0);
    const auto chunk = file("chunk.bin", 32'768);
    handOver(a);
    handOver(empty);
    handOver(chunk);
    runToEnd();
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(rowState(row), "완료") << row;
        EXPECT_EQ(rowStatus(row), "완료되었습니다.") << row;
    }
    expectStoredIdentical(a);
    expectStoredIdentical(empty);
    expectStoredIdentical(chunk);
    EXPECT_EQ(service_->conversations(1001), 3);
    EXPECT_EQ(service_->conversations(512), 3);
    EXPECT_EQ(h.window.doneBytes(), 100'000.0 + 32'768.0);
    // The run ended: completion timer, start button enabled, flags down.
    EXPECT_TRUE(h.loop.timerActive(timer::kCompletion));
    EXPECT_TRUE(h.window.view().enabled(control::kStartStop));
    EXPECT_EQ(h.window.runningFlag(), 0);
    EXPECT_EQ(h.window.startedFlag(), 0);
    EXPECT_EQ(h.window.list().text(2, CFileListView::kSize), "32.00 K  / 32.00 K ");
    // The record the service received carries the digest and the registrant.
    const auto records = service_->receivedRecords();
    ASSERT_FALSE(records.empty());
    const auto first = UploadJobRecord::fromBytes(records[0]);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->fileDigest().size(), 32u);
    EXPECT_EQ(first->contentId(), "C0001");
    h.loop.advance(1000ms);
    EXPECT_EQ(h.notices.texts().back(), "등록하기가 완료되었습니다.");
}

TEST_F(TransferTest, FolderGroupGoesOnOneConnection) {
    startService();
    // Rows of one folder item, as folder expansion makes them: item kind 1,
    // the same user number, one job.
    const auto job = h.window.list().newJob();
    for (int i = 0; i < 4; ++i) {
        const auto path = file("song" + std::to_string(i) + ".bin", 20'000 + i, i + 1);
        tools::PageValues v;
        v.userNumber = 77;
        v.registrant = "tester";
        auto r = tools::buildUploadJob(path, v);
        ASSERT_TRUE(r);
        r->setItemKind(ItemKind::Folder);
        h.window.list().addUploadRecord(*r, job);
        h.window.addTotalBytes(r->itemSize());
    }
    h.window.onCommand(control::kStartStop);
    h.waitForEngine();
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(rowState(row), "완료") << row;
        expectStoredIdentical(h.dir / "files" / ("song" + std::to_string(row) + ".bin"));
    }
    EXPECT_EQ(service_->conversations(1001), 1);
    EXPECT_EQ(service_->conversations(518), 1);
    EXPECT_EQ(service_->conversations(512), 1);
    EXPECT_EQ(service_->multiFileConversations(), 1);
    // Every row took the group text the service gave the folder.
    const auto rec = std::get<UploadJobRecord>(h.window.list().record(3));
    EXPECT_EQ(rec.userValues().folderGroupText(), "grp1");
    EXPECT_EQ(rec.serverFolderPath().rfind("/folders/grp1", 0), 0u);
}

TEST_F(TransferTest, BrokenTransferResumesFromTheServersOffset) {
    std::random_device rd;
    const unsigned seed = rd();
    std::mt19937_64 gen(seed);
    const std::size_t size = 50u * 1024 * 1024;
    const std::uint64_t dropAt = 1 + gen() % (size - 2);
    SCOPED_TRACE("drop after " + std::to_string(dropAt) + " bytes (seed " + std::to_string(seed) +
                 ")");
    expectResumed(size, dropAt, seed);
}

TEST_F(TransferTest, BreakJustBeforeTheEndIsNotTakenForSuccess) {
    // Every send has gone out when the server drops the connection with the
    // last bytes unread: only its reset tells the file is not whole.
    const std::size_t size = 50u * 1024 * 1024;
    expectResumed(size, size - 2, 7);
}

TEST_F(TransferTest, FolderItemUploadsAsOneGroupOnOneConnection) {
    startService();
    // 200 files in nested folders, some names repeated in different folders.
    std::vector<std::filesystem::path> originals;
    for (int i = 0; i < 200; ++i) {
        const std::string sub =
            "앨범/disc" + std::to_string(i % 4) + "/part" + std::to_string(i % 3);
        originals.push_back(
            file(sub + "/track" + std::to_string(i % 50) + ".bin", 1000 + i * 37, i + 1));
    }
    tools::PageValues v;
    v.userNumber = 31;
    v.registrant = "tester";
    auto item = tools::buildUploadJob(h.dir / "files/앨범", v);
    ASSERT_TRUE(item) << item.error();
    ASSERT_TRUE(h.window.onCopyData(handover::makeUploadJobMessage(*item)));
    EXPECT_TRUE(h.window.folderWait().open());
    if (auto* expansion = h.window.folderSession().current()) {
        expansion->join();
    }
    ASSERT_EQ(h.window.list().rowCount(), 200);
    h.loop.advance(500ms);  // the wait dialog closes
    EXPECT_FALSE(h.window.folderWait().open());
    h.loop.advance(500ms);  // and the run starts
    h.waitForEngine();
    for (int row = 0; row < 200; ++row) {
        ASSERT_EQ(rowState(row), "완료") << row << " " << rowStatus(row);
    }
    // Every stored file is identical to its original, at its own place.
    const auto stored = service_->stored();
    ASSERT_EQ(stored.size(), 200u);
    for (const auto& original : originals) {
        const auto relative =
            std::filesystem::relative(original.parent_path(), h.dir / "files/앨범");
        const auto match = std::find_if(stored.begin(), stored.end(), [&](const auto& s) {
            return s.itemName == platform::utf8Text(original.filename()) &&
                   s.path.parent_path().generic_string().ends_with(relative.generic_string());
        });
        ASSERT_NE(match, stored.end()) << original;
        EXPECT_EQ(readAll(match->path), readAll(original)) << original;
    }
    EXPECT_EQ(service_->conversations(518), 1);
    EXPECT_EQ(service_->conversations(512), 1);
    EXPECT_EQ(service_->multiFileConversations(), 1);
}

TEST_F(TransferTest, RetryMarkDoesNotCarryOverToTheNextRow) {
    // A broken and resumed single file, then a folder item's file: the
    // second row must send its own file, not the first one's record again.
    service::Faults faults;
    faults.dropAfterBytes = 70'000;
    startService(faults);
    const auto first = file("first.bin", 200'000, 1);
    handOver(first);
    const auto second = file("second.bin", 90'000, 2);
    tools::PageValues v;
    v.userNumber = 5;
    v.registrant = "tester";
    auto r = tools::buildUploadJob(second, v);
    ASSERT_TRUE(r);
    r->setItemKind(ItemKind::Folder);
    h.window.list().addUploadRecord(*r);
    h.window.addTotalBytes(r->itemSize());
    runToEnd();
    EXPECT_EQ(rowState(0), "완료");
    EXPECT_EQ(rowState(1), "완료");
    expectStoredIdentical(first);
    expectStoredIdentical(second);
}

TEST_F(TransferTest, NegativeOffsetSendsTheWholeFile) {
    service::Faults faults;
    faults.negativeOffsetOnce = true;
    startService(faults);
    const auto f = file("whole.bin", 300'000);
    handOver(f);
    runToEnd();
    EXPECT_EQ(rowState(0), "완료");
    expectStoredIdentical(f);
}

TEST_F(TransferTest, SameNameAnsweredYesContinues) {
    service::Faults faults;
    faults.sameName = "dup.bin";
    startService(faults);
    const auto f = file("dup.bin", 5000);
    handOver(f);
    runToEnd();
    EXPECT_EQ(question_.asked, std::vector<std::string>{"dup.bin"});
    EXPECT_EQ(rowState(0), "완료");
    expectStoredIdentical(f);
}

TEST_F(TransferTest, SameNameAnsweredNoStopsThatFileOnly) {
    h.window.clickCheckBox(control::kCloseWindowCheck);
    service::Faults faults;
    faults.sameName = "dup.bin";
    startService(faults);
    question_.answer = {false, false};
    handOver(file("dup.bin", 5000));
    const auto other = file("other.bin", 7000);
    handOver(other);
    runToEnd();
    EXPECT_NE(rowState(0), "완료");
    EXPECT_FALSE(stored("dup.bin"));
    EXPECT_EQ(rowState(1), "완료");
    expectStoredIdentical(other);
    EXPECT_FALSE(h.loop.timerActive(timer::kCompletion));  // not everything is done
}

TEST_F(TransferTest, SameNameNoForAllSkipsLaterFilesWithoutAsking) {
    h.window.clickCheckBox(control::kCloseWindowCheck);
    service::Faults faults;
    faults.sameName = "dup";
    startService(faults);
    question_.answer = {false, true};
    handOver(file("dup-a.bin", 5000));
    handOver(file("dup-b.bin", 3000));
    const auto other = file("other.bin", 7000);
    handOver(other);
    runToEnd();
    // Asked once; the second file of that name was skipped without a question.
    EXPECT_EQ(question_.asked, std::vector<std::string>{"dup-a.bin"});
    EXPECT_FALSE(stored("dup-a.bin"));
    EXPECT_FALSE(stored("dup-b.bin"));
    expectStoredIdentical(other);
    EXPECT_EQ(service_->receivedRecords().size(), 3u);
    // The skipped file no longer counts towards the run.
    EXPECT_EQ(h.window.totalBytes(), 5000.0 + 7000.0);
}

TEST_F(TransferTest, AlreadyConnectedRestartsAfter189Seconds) {
    service::Faults faults;
    faults.alreadyConnectedOnce = true;
    startService(faults);
    const auto f = file("later.bin", 4000);
    handOver(f);
    runToEnd();
    EXPECT_NE(rowState(0), "완료");
    EXPECT_EQ(h.window.view().text(control::kStatusLine),
              "서버에 접속 되어 있습니다. 3분후 재 전송을 시작합니다.");
    ASSERT_TRUE(h.loop.timerActive(timer::kAutoStart));
    h.loop.advance(188'999ms);
    EXPECT_FALSE(stored("later.bin"));
    EXPECT_EQ(service_->conversations(512), 1);
    h.loop.advance(1ms);
    h.waitForEngine();
    EXPECT_EQ(rowState(0), "완료");
    expectStoredIdentical(f);
}

TEST_F(TransferTest, UnreachableServerGivesUpAfterSixtyAttemptsAndGoesOn) {
    h.window.clickCheckBox(control::kCloseWindowCheck);
    startService();
    // The command server handed over listens nowhere.
    int closedPort = 0;
    {
        auto l = platform::TcpListener::listen("127.0.0.1", 0);
        ASSERT_TRUE(l);
        closedPort = l->port();
    }
    handOverAddress(closedPort);
    handOver(file("lost.bin", 1000));
    // The next row already has its data server: it needs no locate.
    const auto reachable = file("reachable.bin", 2000);
    auto r = tools::buildUploadJob(reachable, {});
    ASSERT_TRUE(r);
    ASSERT_TRUE(r->setDataServerAddress("127.0.0.1"));
    r->setDataServerPort(service_->dataPort(4));
    ASSERT_TRUE(r->setContentId("C0900"));
    ASSERT_TRUE(h.window.onCopyData(handover::makeUploadJobMessage(*r)));
    const auto before = h.clock.sleeps().size();
    std::set<std::string> shown;
    h.clock.onSleep = [&](platform::Millis) {
        shown.insert(h.window.view().text(control::kStatusLine));
    };
    runToEnd();
    h.clock.onSleep = nullptr;
    EXPECT_EQ(rowStatus(0), "서버에 연결할 수 없습니다.");
    EXPECT_EQ(rowState(0), "오류");
    // The minute of retries is shown, and the end says why.
    EXPECT_TRUE(shown.contains("서버에 연결하지 못해 다시 시도합니다. (30 / 60)"));
    EXPECT_EQ(h.window.view().text(control::kStatusLine), "서버에 연결할 수 없습니다.");
    EXPECT_EQ(rowState(1), "완료");
    expectStoredIdentical(reachable);
    // 60 attempts a second apart.
    const auto sleeps = h.clock.sleeps();
    EXPECT_GE(std::count(sleeps.begin() + static_cast<std::ptrdiff_t>(before), sleeps.end(),
                         platform::Millis{1000}),
              60);
}

TEST_F(TransferTest, TenFailuresEndTheRun) {
    service::Faults faults;
    faults.unknownPacket = 4242;
    faults.unknownPacketTimes = 1000;
    startService(faults);
    handOver(file("never.bin", 1000));
    runToEnd();
    EXPECT_EQ(h.window.view().text(control::kStatusLine), "10회 이상 재 업로드가 실패 하였습니다.");
    EXPECT_EQ(service_->conversations(512), 10);
    EXPECT_NE(rowState(0), "완료");
}

TEST_F(TransferTest, ShownProgressNeverRunsAheadOfWhatTheServerHolds) {
    if (!testing::unacknowledgedBytesKnown()) {
        GTEST_SKIP() << "this system does not tell unacknowledged bytes: progress counts what "
                        "was handed to it";
    }
    // A slow server with a small, fixed receive buffer: everything the
    // uploader's send queue holds beyond that is not with the server yet.
    constexpr int kReceiveBuffer = 64 * 1024;
    service::Faults faults;
    faults.bytesPerSecond = 2'000'000;
    startService(faults, kReceiveBuffer);
    const auto slow = file("slow.bin", 2'000'000, 4);
    handOver(slow);
    h.loop.advance(1000ms);
    const auto held = [&] {
        std::error_code ec;
        for (const auto& e : std::filesystem::recursive_directory_iterator(h.dir / "store", ec)) {
            if (e.path().filename() == "slow.bin") {
                return static_cast<double>(e.file_size(ec));
            }
        }
        return 0.0;
    };
    // The kernel doubles the buffer; the service holds one read of 64 KiB.
    const double bound = 2 * kReceiveBuffer + 64 * 1024;
    double ahead = 0;
    int samples = 0;
    auto* run = h.window.session().current();
    ASSERT_NE(run, nullptr);
    while (!run->finished()) {
        const double shown = h.window.doneBytes();
        ahead = std::max(ahead, shown - held());
        ++samples;
        std::this_thread::sleep_for(10ms);
    }
    h.waitForEngine();
    EXPECT_GT(samples, 20);
    EXPECT_LE(ahead, bound);
    EXPECT_EQ(rowState(0), "완료");
    EXPECT_EQ(h.window.doneBytes(), 2'000'000.0);
}

TEST_F(TransferTest, ResumeOffsetBeyondTheFileIsRefusedForThatRowAndTheRunGoesOn) {
    service::Faults faults;
    faults.offsetBeyondEndName = "short.bin";
    startService(faults);
    handOver(file("short.bin", 1000));
    const auto other = file("other.bin", 3000, 2);
    handOver(other);
    runToEnd();
    // Never taken for a finished file, nor tried again and again: the row
    // reads "오류" with the reason, the next row is sent.
    EXPECT_EQ(rowState(0), "오류");
    EXPECT_EQ(rowStatus(0), "잘못된 이어 올리기 위치입니다. (1001 / 1000 바이트)");
    EXPECT_FALSE(stored("short.bin"));
    EXPECT_EQ(rowState(1), "완료");
    expectStoredIdentical(other);
    // A second start sends it.
    runAgain();
    EXPECT_EQ(rowState(0), "완료");
    expectStoredIdentical(h.dir / "files" / "short.bin");
}

TEST_F(TransferTest, UnknownPacketFailsTheConversationAndTheRowIsTriedAgain) {
    service::Faults faults;
    faults.unknownPacket = 4242;
    startService(faults);
    const auto f = file("again.bin", 1000);
    handOver(f);
    runToEnd();
    EXPECT_EQ(rowState(0), "완료");
    expectStoredIdentical(f);
    EXPECT_EQ(service_->conversations(512), 2);
}

TEST_F(TransferTest, RegistrationErrors) {
    for (const auto& [number, shortText] : std::vector<std::pair<int, std::string>>{
             {4001, "4001 컨텐츠 등록 오류"}, {4003, "4003 컨텐츠 등록 오류"}}) {
        testing_support::WindowHarness local;
        service::ReferenceService::Options options;
        options.storage = local.dir / "store";
        options.faults.registerError = number;
        service::ReferenceService svc(options);
        std::string error;
        ASSERT_TRUE(svc.start(error));
        local.window.setTransferFactory(CFileSocket::factory(
            TransferServices{local.clock, local.notices, connector_, question_, registered_}));
        ASSERT_TRUE(local.window.onCopyData(handover::makeServerAddressMessage(
            handover::ListMessageKind::ServerAddress, "127.0.0.1", svc.commandPort())));
        auto r = tools::buildUploadJob(local.dir.write("x.bin", "abc"), {});
        ASSERT_TRUE(local.window.onCopyData(handover::makeUploadJobMessage(*r)));
        local.loop.advance(1000ms);
        local.waitForEngine();
        EXPECT_EQ(local.window.list().jobState(0), "등록 에러");
        EXPECT_EQ(local.window.list().text(0, CFileListView::kStatusText), shortText + "입니다.");
        const auto texts = local.notices.texts();
        EXPECT_NE(std::find(texts.begin(), texts.end(), shortText), texts.end());
        svc.stop();
    }
}

TEST_F(TransferTest, ErrorFormIsShownAndTheConversationClosed) {
    service::Faults faults;
    faults.errorText = "서버 점검 중입니다";
    startService(faults);
    handOver(file("x.bin", 10));
    runToEnd();
    EXPECT_EQ(rowStatus(0), "서버 점검 중입니다");
    const auto texts = h.notices.texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "서버 점검 중입니다"), texts.end());
}

}  // namespace
}  // namespace quenvara::uploader
