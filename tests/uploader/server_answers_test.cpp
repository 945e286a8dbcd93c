// Answers a server may give that the reference service gives only when told
// to: each must leave every file complete and identical, and no row done
// that the server did not confirm.
#include <future>
#include <thread>

#include "tests/uploader/scripted_server.h"
#include "tests/uploader/transfer_fixture.h"

namespace quenvara::uploader {
namespace {

using namespace std::chrono_literals;
using testing_transfer::readAll;
using testing_transfer::TransferTest;

class ServerAnswersTest : public TransferTest {
  protected:
    void expectAllDoneAndIdentical(const std::vector<std::filesystem::path>& files) {
        for (std::size_t row = 0; row < files.size(); ++row) {
            EXPECT_EQ(rowState(static_cast<int>(row)), "완료")
                << row << " " << rowStatus(static_cast<int>(row));
            expectStoredIdentical(files[row]);
        }
        EXPECT_EQ(service_->protocolErrors(), std::vector<std::string>{});
    }

    double sizeOf(const std::vector<std::filesystem::path>& files) {
        double total = 0;
        for (const auto& f : files) {
            total += static_cast<double>(std::filesystem::file_size(f));
        }
        return total;
    }
};

// ---- retries after a break belong to the row that broke ----

TEST_F(ServerAnswersTest, ErrorFormOnTheRetryNeverSendsTheBrokenRowsRecordForTheNext) {
    service::Faults faults;
    faults.dropAfterBytes = 30'000;
    faults.dropName = "f0.bin";
    faults.errorFormAfterBreak = true;
    startService(faults);
    const auto files = folderRows({100'000, 60'000, 40'000});
    runAgain();
    // The retry of f0 met the error form: f0 is not done, the others went
    // with their own records.
    EXPECT_NE(rowState(0), "완료");
    for (int row = 1; row < 3; ++row) {
        EXPECT_EQ(rowState(row), "완료") << row;
        expectStoredIdentical(files[static_cast<std::size_t>(row)]);
    }
    std::vector<std::string> names;
    for (const auto& bytes : service_->receivedRecords()) {
        names.push_back(UploadJobRecord::fromBytes(bytes)->itemName());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"f0.bin", "f1.bin", "f2.bin"}));
    // The broken row's bytes count for that row only.
    EXPECT_LE(h.window.doneBytes(), sizeOf(files));
    // The next run sends f0 whole.
    runAgain();
    expectAllDoneAndIdentical(files);
}

TEST_F(ServerAnswersTest, BreakInTheMiddleOfAGroupResumesThatRow) {
    service::Faults faults;
    faults.dropAfterBytes = 12'345;
    faults.dropName = "f1.bin";
    startService(faults);
    const auto files = folderRows({50'000, 70'000, 30'000});
    runAgain();
    expectAllDoneAndIdentical(files);
    EXPECT_EQ(h.window.doneBytes(), sizeOf(files));
}

// ---- header-only packets ----

TEST_F(ServerAnswersTest, HeaderOnlyPollWithNegativeProductIsAnsweredAndTheUploadGoesOn) {
    service::Faults faults;
    faults.headerOnlyPoll = true;
    startService(faults);
    const auto single = file("single.bin", 80'000, 3);
    handOver(single);
    runToEnd();
    EXPECT_EQ(rowState(0), "완료");
    expectStoredIdentical(single);
    EXPECT_EQ(service_->conversations(512), 1);
    EXPECT_EQ(h.window.doneBytes(), 80'000.0);
    EXPECT_NE(h.window.view().text(control::kStatusLine), "10회 이상 재 업로드가 실패 하였습니다.");
}

TEST_F(ServerAnswersTest, HeaderOnlyPollBeforeEveryRequestOfAGroup) {
    service::Faults faults;
    faults.headerOnlyPoll = true;
    startService(faults);
    const auto files = folderRows({10'000, 20'000, 30'000});
    runAgain();
    expectAllDoneAndIdentical(files);
    EXPECT_EQ(service_->conversations(512), 1);
    EXPECT_EQ(h.window.doneBytes(), sizeOf(files));
}

// ---- what may follow the last byte ----

struct AfterDataCase {
    std::vector<std::int32_t> packets;
    bool folder;
};

void PrintTo(const AfterDataCase& c, std::ostream* os) {
    *os << (c.folder ? "folder group," : "single file,");
    for (const auto p : c.packets) {
        *os << " " << p;
    }
}

class AfterDataTest : public ServerAnswersTest,
                      public ::testing::WithParamInterface<AfterDataCase> {};

TEST_P(AfterDataTest, FileIsDoneOnceConfirmedAndArrivesIdentical) {
    service::Faults faults;
    faults.afterData = GetParam().packets;
    startService(faults);
    std::vector<std::filesystem::path> files;
    if (GetParam().folder) {
        files = folderRows({25'000, 35'000, 15'000});
        runAgain();
    } else {
        files.push_back(file("one.bin", 90'000, 5));
        handOver(files.back());
        runToEnd();
    }
    expectAllDoneAndIdentical(files);
    // Bytes sent again count once; the done count stays within the rows.
    EXPECT_EQ(h.window.doneBytes(), sizeOf(files));
    EXPECT_EQ(h.window.doneCount(), static_cast<int>(files.size()));
}

INSTANTIATE_TEST_SUITE_P(Packets, AfterDataTest,
                         ::testing::Values(AfterDataCase{{505}, false}, AfterDataCase{{508}, false},
                                           AfterDataCase{{203}, false},
                                           AfterDataCase{{505, 508, 203}, false},
                                           AfterDataCase{{514}, false}, AfterDataCase{{505}, true},
                                           AfterDataCase{{203}, true},
                                           AfterDataCase{{505, 508}, true},
                                           AfterDataCase{{514}, true}));

TEST_F(ServerAnswersTest, DisconnectAfterTheLastByteRepeatsTheFileFromTheServersOffset) {
    service::Faults faults;
    faults.afterData = {514};
    startService(faults);
    const auto f = file("again.bin", 64'000, 9);
    handOver(f);
    runToEnd();
    EXPECT_EQ(rowState(0), "완료");
    expectStoredIdentical(f);
    // Not confirmed the first time: a second conversation, which found every
    // byte at the server.
    EXPECT_EQ(service_->conversations(512), 2);
    const auto records = service_->receivedRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(UploadJobRecord::fromBytes(records[1])->resumeState(), 1);
}

// ---- texts go to the server as the page's bytes ----

TEST_F(ServerAnswersTest, RegistrantAndLocateTextsGoAsTheRecordsOwnBytes) {
    startService();
    const auto f = file("bytes.bin", 1000);
    auto r = tools::buildUploadJob(f, {});
    ASSERT_TRUE(r);
    auto values = r->userValues();
    // Bytes no code page decodes: they must arrive exactly as they are.
    const std::string registrant = "\xB0\xFF\x80registrant-long";
    const std::string section = "\xC8\x41";
    ASSERT_TRUE(values.setRegistrantNameBytes(registrant));
    ASSERT_TRUE(values.setSectionCodeBytes(section));
    ASSERT_TRUE(values.setAdultFlagBytes("\xFE"));
    r->setUserValues(values);
    ASSERT_TRUE(h.window.onCopyData(handover::makeUploadJobMessage(*r)));
    runToEnd();
    EXPECT_EQ(rowState(0), "완료");
    const auto registrants = service_->openingRegistrants();
    ASSERT_FALSE(registrants.empty());
    for (const auto& field : registrants) {
        EXPECT_EQ(std::string(field.begin(), field.end()), registrant.substr(0, 12));
    }
    const auto locate = service_->locateBodies();
    ASSERT_EQ(locate.size(), 1u);
    EXPECT_EQ(std::string(locate[0].begin() + 8, locate[0].begin() + 10), section);
    EXPECT_EQ(locate[0][16], 0xFE);
}

using testing_transfer::ScriptedServer;
using S = ScriptedServer;

std::vector<std::uint8_t> resumeBody(double offset) {
    const auto b = transfer::encodeResume(offset);
    return {b.begin(), b.end()};
}

// Rows that already know their data server: each goes straight to 512.
class ScriptedTest : public TransferTest {
  protected:
    void handOverTo(const std::filesystem::path& path, int port, std::int32_t userNumber) {
        tools::PageValues v;
        v.userNumber = userNumber;
        auto r = tools::buildUploadJob(path, v);
        ASSERT_TRUE(r);
        ASSERT_TRUE(r->setDataServerAddress("127.0.0.1"));
        r->setDataServerPort(port);
        ASSERT_TRUE(r->setContentId("C0900"));
        ASSERT_TRUE(h.window.onCopyData(handover::makeUploadJobMessage(*r)));
    }
    // The upload of one whole file up to the uploader's close after the data.
    static S::Script upload(std::size_t size, double resume = 0,
                            std::vector<std::uint8_t>* record = nullptr) {
        return {S::expect(512),
                S::send(507),
                S::expect(501, record),
                S::send(501, resumeBody(resume)),
                S::readData(static_cast<std::size_t>(static_cast<double>(size) - resume)),
                S::expect(5)};
    }
    static S::Script then(S::Script a, const S::Script& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }
    void startAndWait() {
        h.window.onCommand(control::kStartStop);
        auto ended = std::async(std::launch::async, [&] { h.waitForEngine(); });
        ASSERT_EQ(ended.wait_for(30s), std::future_status::ready);
    }
};

TEST_F(ScriptedTest, RegisteredRecordCutShortAfterTheDataRepeatsThatFileOnly) {
    std::vector<std::uint8_t> retried;
    std::vector<std::uint8_t> second;
    ScriptedServer server({
        then(upload(3000), {S::sendCut(508, 7972, 10), S::reset()}),
        then(upload(3000, 3000, &retried), {S::send(5)}),
        then(upload(2000, 0, &second), {S::send(5)}),
    });
    h.window.clickCheckBox(control::kCloseWindowCheck);
    handOverTo(file("a.bin", 3000), server.port(), 1);
    handOverTo(file("b.bin", 2000), server.port(), 2);
    startAndWait();
    EXPECT_EQ(rowState(0), "완료");
    EXPECT_EQ(rowState(1), "완료");
    EXPECT_EQ(server.connections(), 3);
    ASSERT_FALSE(retried.empty());
    EXPECT_EQ(UploadJobRecord::fromBytes(retried)->itemName(), "a.bin");
    EXPECT_EQ(UploadJobRecord::fromBytes(retried)->resumeState(), 1);
    ASSERT_FALSE(second.empty());
    EXPECT_EQ(UploadJobRecord::fromBytes(second)->itemName(), "b.bin");
    EXPECT_EQ(h.window.doneBytes(), 5000.0);
}

TEST_F(ScriptedTest, DeletingTheEnginesFinishedRowWhileItWaitsKeepsTheNextRow) {
    std::atomic<bool> go{false};
    ScriptedServer server({
        then(upload(1000), {S::send(203), S::expect(5), S::send(5), S::waitFor(go)}),
        then(upload(700), {S::send(5)}),
    });
    h.window.clickCheckBox(control::kCloseWindowCheck);
    handOverTo(file("first.bin", 1000), server.port(), 1);
    handOverTo(file("second.bin", 700), server.port(), 2);
    h.window.onCommand(control::kStartStop);
    // The first file is confirmed by the server's 5; the server then keeps
    // the connection open.
    const auto end = std::chrono::steady_clock::now() + 20s;
    while (rowState(0) != "완료" && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_EQ(rowState(0), "완료");
    std::this_thread::sleep_for(50ms);
    h.window.onCommand(control::kDelete);
    EXPECT_EQ(h.window.list().rowCount(), 1);
    go = true;
    auto ended = std::async(std::launch::async, [&] { h.waitForEngine(); });
    ASSERT_EQ(ended.wait_for(30s), std::future_status::ready);
    EXPECT_EQ(h.window.list().text(0, CFileListView::kName), "second.bin");
    EXPECT_EQ(rowState(0), "완료");
    EXPECT_EQ(server.connections(), 2);
}

TEST_F(ScriptedTest, ServerThatNeverTakesTheFileEndsTheRunAfterTenFailures) {
    ScriptedServer server({
        then(upload(1500), {S::send(514), S::expect(500)}),
        {S::expect(512), S::send(514), S::expect(500)},
    });
    handOverTo(file("never.bin", 1500), server.port(), 1);
    startAndWait();
    server.stop();
    EXPECT_NE(rowState(0), "완료");
    EXPECT_EQ(h.window.view().text(control::kStatusLine), "10회 이상 재 업로드가 실패 하였습니다.");
    EXPECT_EQ(server.connections(), 10);
}

}  // namespace
}  // namespace quenvara::uploader
