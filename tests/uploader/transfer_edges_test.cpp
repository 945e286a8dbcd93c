// "완료" at the edges: files that change after they were listed, answers a
// server sends before the data, server paths too long for their field,
// conversations that end unanswered, folder files that cannot be sent. A row
// reads "완료" only with its file stored whole; every other row says why.
#include <filesystem>
#include <thread>

#include "tests/uploader/transfer_fixture.h"

namespace quenvara::uploader {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing_transfer::TransferTest;

class TransferEdgesTest : public TransferTest {
  protected:
    // One small file through a service with these faults; its row's state.
    std::string uploadOne(service::Faults faults, const std::string& name) {
        startService(std::move(faults));
        handOver(file(name, 10));
        runToEnd();
        return rowState(0);
    }

    // Waits (real time, bounded) until `done` holds.
    template <class F>
    static bool waitFor(F done, std::chrono::seconds limit = 20s) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done() && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(5ms);
        }
        return done();
    }
};

TEST_F(TransferEdgesTest, AFileThatChangedSinceItWasListedIsNotSentAndTheQueueGoesOn) {
    startService();
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> change;   // after the hand-over
        std::function<void(UploadJobRecord&)> record;  // before it
    };
    const auto append = [](const fs::path& p) {
        std::ofstream(p, std::ios::binary | std::ios::app) << std::string(50'000, 'g');
    };
    const Case cases[] = {
        {"grown.bin", append, {}},
        {"shrunk.bin", [](const fs::path& p) { fs::resize_file(p, 50'000); }, {}},
        {"rewritten.bin",
         [](const fs::path& p) {
             fs::last_write_time(p, fs::last_write_time(p) + 1h);  // same size, written since
         },
         {}},
        {"gone.bin", [](const fs::path& p) { fs::remove(p); }, {}},
        {"size-zero.bin", {}, [](UploadJobRecord& r) { r.setItemSize(0); }},
        {"size-nan.bin", {}, [](UploadJobRecord& r) { r.setItemSize(std::nan("")); }},
    };
    std::vector<fs::path> paths;
    for (const auto& c : cases) {
        paths.push_back(file(c.name, 100'000));
        auto r = tools::buildUploadJob(paths.back(), {});
        ASSERT_TRUE(r);
        if (c.record) {
            c.record(*r);
        }
        ASSERT_TRUE(h.window.onCopyData(handover::makeUploadJobMessage(*r)));
    }
    const auto last = file("last.bin", 1000);
    handOver(last);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (cases[i].change) {
            cases[i].change(paths[i]);
        }
    }
    runToEnd();
    for (const auto& c : cases) {
        EXPECT_EQ(rowNamed(c.name).first, "오류") << c.name << ": " << rowNamed(c.name).second;
        // (A record of 0 bytes needs no data: the service keeps an empty
        // file for it, which the row never claims.)
        const auto s = stored(c.name);
        EXPECT_TRUE(!s || s->size == 0) << c.name << ": " << rowNamed(c.name).second;
    }
    EXPECT_NE(rowNamed("grown.bin").second.find("파일이 바뀌었습니다"), std::string::npos)
        << rowNamed("grown.bin").second;
    EXPECT_EQ(rowNamed("last.bin").first, "완료");
    expectStoredIdentical(last);
    EXPECT_NE(h.window.view().text(control::kStatusLine), "10회 이상 재 업로드가 실패 하였습니다.");
}

TEST_F(TransferEdgesTest, AFileCutShortWhileItIsSentGivesUpItsRowNotTheRun) {
    service::Faults faults;
    faults.bytesPerSecond = 4'000'000;
    startService(faults, 64 * 1024);
    // Larger than the send queue holds, so that the cut comes before the
    // uploader has read that far.
    const auto big = file("big.bin", 30'000'000);
    const auto next = file("next.bin", 1000);
    handOver(big);
    handOver(next);
    h.window.onCommand(control::kStartStop);
    ASSERT_TRUE(waitFor([&] { return h.window.doneBytes() > 500'000; }));
    fs::resize_file(big, 600'000);
    h.waitForEngine();
    EXPECT_EQ(rowState(0), "오류");
    EXPECT_NE(rowStatus(0).find("짧아졌습니다"), std::string::npos) << rowStatus(0);
    EXPECT_EQ(rowState(1), "완료");
    expectStoredIdentical(next);
}

TEST_F(TransferEdgesTest, AnAnswerSentBeforeTheDataIsNoConfirmation) {
    // A 5 after a single file's record, and a 503 after the first file of a
    // folder group, each before the server read a byte of the data: the
    // next conversation asks the server what it holds and sends the rest.
    service::Faults faults;
    faults.earlyAnswer = {{"single.bin", 5}, {"f0.bin", 503}};
    startService(faults);
    const auto single = file("single.bin", 3'000'000, 9);
    handOver(single);
    const auto group = folderRows({200'000, 300'000});
    h.window.onCommand(control::kStartStop);
    h.waitForEngine();
    EXPECT_EQ(rowState(0), "완료");
    expectStoredIdentical(single);
    for (int row = 1; row < 3; ++row) {
        EXPECT_EQ(rowState(row), "완료") << row;
        expectStoredIdentical(group[static_cast<std::size_t>(row - 1)]);
    }
    // One more upload conversation each: the early answer broke the first.
    EXPECT_GE(service_->conversations(512), 4);
}

TEST_F(TransferEdgesTest, ServerPathsTooLongForTheirFieldAreRefusedNeverCutIntoOneFile) {
    service::Faults faults;
    // A root of 490 bytes in short folder names (the store keeps them).
    while (faults.folderRoot.size() < 490) {
        faults.folderRoot += "/rrrrrrrrr";
    }
    startService(faults);
    const std::string twin(20, 't');
    file("album/" + twin + "x/same.bin", 1000, 1);
    file("album/" + twin + "y/same.bin", 2000, 2);
    const auto shortPath = file("album/short.bin", 3000, 3);
    handOverFolder(h.dir / "files" / "album");
    runToEnd();
    int refused = 0;
    for (int row = 0; row < h.window.list().rowCount(); ++row) {
        if (h.window.list().text(row, CFileListView::kName) == "same.bin") {
            EXPECT_EQ(rowState(row), "오류");
            EXPECT_NE(rowStatus(row).find("서버 폴더 경로가 너무 깁니다"), std::string::npos)
                << rowStatus(row);
            ++refused;
        }
    }
    EXPECT_EQ(refused, 2);
    EXPECT_FALSE(stored("same.bin"));
    EXPECT_EQ(rowNamed("short.bin").first, "완료");
    expectStoredIdentical(shortPath);
}

class UnansweredTest : public TransferEdgesTest, public ::testing::WithParamInterface<bool> {};

TEST_P(UnansweredTest, AFolderStaysOneGroupWhenItsLocateOrRegistrationGoesUnanswered) {
    const bool locate = GetParam();
    service::Faults faults;
    (locate ? faults.unansweredLocates : faults.unansweredRegistrations) = 1;
    startService(faults);
    std::vector<fs::path> paths;
    for (int i = 0; i < 3; ++i) {
        paths.push_back(
            file("album/f" + std::to_string(i) + ".bin", 10'000 + i, static_cast<unsigned>(i)));
    }
    handOverFolder(h.dir / "files" / "album");
    runToEnd();
    for (const auto& p : paths) {
        expectStoredIdentical(p);
        // Every file under the one group the service gave the folder.
        const auto s = stored(p.filename().string());
        ASSERT_TRUE(s);
        EXPECT_NE(s->path.generic_string().find("/grp1/"), std::string::npos) << s->path;
    }
    EXPECT_EQ(service_->conversations(518), locate ? 1 : 2);
    EXPECT_EQ(service_->conversations(512), 1);
}

INSTANTIATE_TEST_SUITE_P(LocateOrRegistration, UnansweredTest, ::testing::Bool());

TEST_F(TransferEdgesTest, TheCompletionNoticeSaysHowManyFilesWereNotSent) {
    startService();
    file("mixed/one.txt", 10, 1);
    file("mixed/two-\xF0\x9F\x98\x80.txt", 20, 2);
    handOverFolder(h.dir / "files" / "mixed");
    runToEnd();
    h.loop.advance(1000ms);
    EXPECT_EQ(rowNamed("one.txt").first, "완료");
    EXPECT_EQ(rowNamed("two-\xF0\x9F\x98\x80.txt").first, "오류");
    const auto texts = h.notices.texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), std::string(kCompletedText)), 0);
    EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [](const std::string& t) {
        return t.find("1 개는 보내지 못했습니다") != std::string::npos;
    }));
    EXPECT_FALSE(h.ended);
}

TEST_F(TransferEdgesTest, APortNoServerCanHaveIsRefusedAtOnce) {
    startService();
    handOver(file("p.bin", 10));
    handOverAddress(70'000);
    runToEnd();
    EXPECT_EQ(rowState(0), "오류");
    EXPECT_NE(rowStatus(0).find("서버 포트가 올바르지 않습니다"), std::string::npos)
        << rowStatus(0);
    const auto sleeps = h.clock.sleeps();
    EXPECT_LT(std::count(sleeps.begin(), sleeps.end(), platform::Millis{1000}), 5);
}

TEST_F(TransferEdgesTest, ASocketThatCannotBeMadeIsSaidOnceNotTriedSixtyTimes) {
    struct NoSockets final : platform::TcpConnector {
        std::unique_ptr<platform::TcpConnection> connect(const std::string&, int, int& error,
                                                         const Abandon&) override {
            error = EMFILE;
            return nullptr;
        }
    } noSockets;
    h.window.setTransferFactory(CFileSocket::factory(
        TransferServices{h.clock, h.notices, noSockets, question_, registered_}));
    handOverAddress(9);
    handOver(file("s.bin", 10));
    runToEnd();
    const auto texts = h.notices.texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(),
                         std::string("서버 연결을 위한 소켓 생성에 실패 하였습니다.")),
              1);
    const auto sleeps = h.clock.sleeps();
    EXPECT_LT(std::count(sleeps.begin(), sleeps.end(), platform::Millis{1000}), 5);
}

TEST_F(TransferEdgesTest, AContentIdLongerThanTheTablesAllowIsRefusedNotCut) {
    service::Faults faults;
    faults.contentId = "C12345";
    EXPECT_EQ(uploadOne(faults, "id.bin"), "오류");
    EXPECT_NE(rowStatus(0).find("콘텐츠 번호"), std::string::npos) << rowStatus(0);
    EXPECT_FALSE(stored("id.bin"));
}

TEST_F(TransferEdgesTest, AFilePassedOverForEverySameNameSaysItWasSkipped) {
    service::Faults faults;
    faults.sameName = "same";
    startService(faults);
    question_.answer = {false, true};  // 아니오, 모든 파일에 적용
    handOver(file("same.bin", 10));
    handOver(file("same-too.bin", 10));
    runToEnd();
    EXPECT_EQ(question_.asked.size(), 1u);
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(rowState(row), "건너뜀") << row;
        EXPECT_EQ(rowStatus(row), "같은 이름의 파일이 있어 건너뛰었습니다.") << row;
    }
}

TEST_F(TransferEdgesTest, APauseEndsAWaitOnASilentServerAtOnce) {
    service::Faults faults;
    faults.silentAfterStart = true;
    startService(faults);
    handOver(file("quiet.bin", 10));
    h.window.onCommand(control::kStartStop);
    ASSERT_TRUE(waitFor([&] { return service_->conversations(512) == 1; }));
    std::this_thread::sleep_for(50ms);  // into the receive
    h.window.onCommand(control::kStartStop);
    EXPECT_TRUE(waitFor([&] { return h.window.session().current()->finished(); }, 5s));
    h.waitForEngine();
    EXPECT_EQ(rowState(0), "일시중지");
}

}  // namespace
}  // namespace quenvara::uploader
