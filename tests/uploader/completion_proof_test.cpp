// A row reads "완료" only when the server confirmed its file, and a folder
// group is the files of one handed-over folder item: what a server that
// closes without confirming, a retry met by the error form, and several
// jobs of one user in the queue must never turn into a lost file.
#include <future>
#include <set>
#include <thread>

#include "tests/uploader/scripted_server.h"
#include "tests/uploader/transfer_fixture.h"

namespace quenvara::uploader {
namespace {

using namespace std::chrono_literals;
using testing_transfer::readAll;
using testing_transfer::ScriptedServer;
using testing_transfer::TransferTest;
using S = ScriptedServer;

class CompletionProofTest : public TransferTest {
  protected:
    // Every stored file by its content; a file stored twice or lost shows.
    std::multiset<std::string> storedContents() {
        std::multiset<std::string> out;
        for (const auto& s : service_->stored()) {
            out.insert(readAll(s.path));
        }
        return out;
    }

    std::vector<UploadJobRecord> records() {
        std::vector<UploadJobRecord> out;
        for (const auto& bytes : service_->receivedRecords()) {
            out.push_back(*UploadJobRecord::fromBytes(bytes));
        }
        return out;
    }
};

// ---- a file is done when the server has it ----

struct UnconfirmedCase {
    const char* name;
    service::Faults faults;
    bool folder;
};

void PrintTo(const UnconfirmedCase& c, std::ostream* os) {
    *os << c.name;
}

std::string caseName(const ::testing::TestParamInfo<UnconfirmedCase>& info) {
    return info.param.name;
}

class UnconfirmedEndTest : public CompletionProofTest,
                           public ::testing::WithParamInterface<UnconfirmedCase> {};

TEST_P(UnconfirmedEndTest, NoRowIsDoneUntilTheServerHasItsFile) {
    startService(GetParam().faults);
    std::vector<std::filesystem::path> files;
    if (GetParam().folder) {
        files = folderRows({90'000, 330'714, 40'000});
    } else {
        files = {file("f1.bin", 330'714, 7)};
        handOver(files[0]);
    }
    // The first run may leave the file to the next; two starts at most.
    runAgain();
    if (!h.window.list().allDone()) {
        for (int row = 0; row < h.window.list().rowCount(); ++row) {
            EXPECT_NE(rowState(row), "업로드중") << row;
        }
        runAgain();
    }
    for (std::size_t row = 0; row < files.size(); ++row) {
        EXPECT_EQ(rowState(static_cast<int>(row)), "완료") << row;
        expectStoredIdentical(files[row]);
    }
    // The unconfirmed file went again with its resume mark: the server's
    // offset decided what was sent.
    int marked = 0;
    for (const auto& r : records()) {
        marked += r.itemName() == "f1.bin" && r.resumeState() != 0 ? 1 : 0;
    }
    EXPECT_GE(marked, 1);
    EXPECT_EQ(service_->protocolErrors(), std::vector<std::string>{});
}

service::Faults cutAt(std::uint64_t at, bool orderly) {
    service::Faults f;
    f.cuts = {{"f1.bin", at, orderly}};
    return f;
}

service::Faults closedWithoutConfirmation() {
    service::Faults f;
    f.closeUnconfirmed = {"f1.bin"};
    return f;
}

service::Faults errorFormAfterBreakThenClose() {
    service::Faults f = cutAt(100'000, false);
    f.errorFormAfterBreak = true;
    f.closeAfterErrorForm = true;
    return f;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, UnconfirmedEndTest,
    ::testing::Values(
        UnconfirmedCase{"FinPartWaySingle", cutAt(30'094, true), false},
        UnconfirmedCase{"FinPartWayFolder", cutAt(30'094, true), true},
        UnconfirmedCase{"CloseAfterLastByteSingle", closedWithoutConfirmation(), false},
        UnconfirmedCase{"CloseAfterLastByteFolder", closedWithoutConfirmation(), true},
        UnconfirmedCase{"ErrorFormAndFiveAfterABreakSingle", errorFormAfterBreakThenClose(), false},
        UnconfirmedCase{"ErrorFormAndFiveAfterABreakFolder", errorFormAfterBreakThenClose(), true}),
    caseName);

TEST_F(CompletionProofTest, ErrorFormOnTheRetryLeavesTheBrokenRowFailedAndSendsTheRest) {
    startService(errorFormAfterBreakThenClose());
    std::vector<std::size_t> sizes(6, 20'000);
    sizes[1] = 330'714;  // f1.bin, cut after 100,000 bytes
    const auto files = folderRows(sizes);
    runAgain();
    // The server's 5 after the error form confirms nothing.
    EXPECT_EQ(rowState(1), "오류");
    for (int row = 0; row < 6; ++row) {
        if (row != 1) {
            EXPECT_EQ(rowState(row), "완료") << row;
            expectStoredIdentical(files[static_cast<std::size_t>(row)]);
        }
    }
    // The next start sends that row alone, from the server's offset.
    const auto before = records().size();
    runAgain();
    EXPECT_EQ(rowState(1), "완료");
    expectStoredIdentical(files[1]);
    const auto all = records();
    ASSERT_EQ(all.size(), before + 1);
    EXPECT_EQ(all.back().itemName(), "f1.bin");
    EXPECT_EQ(all.back().resumeState(), 1);
}

// ---- a folder group is one handed-over folder item ----

TEST_F(CompletionProofTest, SingleFileQueuedAfterAFolderOfTheSameUserKeepsItsOwnPlace) {
    startService();
    const auto folder = folderRows({30'000, 20'000}, 77);
    const auto single = file("single.bin", 25'000, 3);
    tools::PageValues v;
    v.userNumber = 77;
    handOver(single, v);
    runAgain();
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(rowState(row), "완료") << row;
    }
    expectStoredIdentical(single);
    // Located on its own, stored where its own locate put it.
    EXPECT_EQ(service_->conversations(1001), 2);
    EXPECT_EQ(service_->conversations(518), 1);
    EXPECT_EQ(stored("single.bin")->path.parent_path().filename(), "contents");
}

TEST_F(CompletionProofTest, TwoFoldersOfOneUserAreTwoGroupsAndNeitherOverwritesTheOther) {
    startService();
    const auto a1 = h.dir.write("앨범 A/sub/same.bin", std::string(200'000, 'a'));
    const auto a2 = h.dir.write("앨범 A/a.bin", std::string(14'404, 'x'));
    const auto b1 = h.dir.write("앨범 B/sub/same.bin", std::string(150'000, 'b'));
    const auto b2 = h.dir.write("앨범 B/b.bin", std::string(0, 'y'));
    handOverFolder(h.dir / "앨범 A", 5);
    handOverFolder(h.dir / "앨범 B", 5);
    ASSERT_EQ(h.window.list().rowCount(), 4);
    runToEnd();
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(rowState(row), "완료") << row;
    }
    EXPECT_EQ(service_->conversations(518), 2);
    EXPECT_EQ(service_->conversations(1001), 2);
    const std::multiset<std::string> expected = {readAll(a1), readAll(a2), readAll(b1),
                                                 readAll(b2)};
    EXPECT_EQ(storedContents(), expected);
    // Each folder under its own group.
    std::set<std::filesystem::path> sameFolders;
    for (const auto& s : service_->stored()) {
        if (s.itemName == "same.bin") {
            sameFolders.insert(s.path.parent_path());
        }
    }
    EXPECT_EQ(sameFolders.size(), 2u);
}

// ---- pause and resume ----

TEST_F(CompletionProofTest, PauseAndResumeShowWhatTheServerHoldsAndOneRowBeingSent) {
    service::Faults faults;
    // Larger than a send queue can hold, so that the pause finds it sending.
    faults.bytesPerSecond = 8'000'000;
    startService(faults, 64 * 1024);
    const auto files = folderRows({8'000'000, 600'000});
    const double total = 8'600'000;
    const auto overall = [&] { return h.window.view().text(control::kOverallBar); };
    const auto uploading = [&] {
        int n = 0;
        for (int row = 0; row < h.window.list().rowCount(); ++row) {
            n += rowState(row) == "업로드중" ? 1 : 0;
        }
        return n;
    };
    const auto waitFor = [&](auto done) {
        const auto end = std::chrono::steady_clock::now() + 20s;
        while (!done() && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(5ms);
        }
        return done();
    };
    h.window.onCommand(control::kStartStop);
    ASSERT_TRUE(waitFor([&] { return h.window.doneBytes() > 1'000'000; }));
    h.window.onCommand(control::kStartStop);  // pause half-way through the first file
    h.waitForEngine();
    h.loop.runPending();
    EXPECT_EQ(rowState(0), "일시중지");
    EXPECT_EQ(uploading(), 0);
    // What was shown stays: the bytes the server took, not a fresh 0 %.
    EXPECT_GT(h.window.doneBytes(), 1'000'000) << overall();
    EXPECT_NE(overall(), "0%");
    EXPECT_EQ(h.window.totalBytes(), total);
    h.window.onCommand(control::kStartStop);  // resume
    double shownMax = 0;
    ASSERT_TRUE(waitFor([&] {
        EXPECT_LE(uploading(), 1);
        shownMax = std::max(shownMax, h.window.doneBytes());
        EXPECT_LE(h.window.doneBytes(), total);
        return h.window.session().current()->finished();
    }));
    h.waitForEngine();
    EXPECT_EQ(rowState(0), "완료");
    EXPECT_EQ(rowState(1), "완료");
    EXPECT_EQ(h.window.doneBytes(), total);
    expectStoredIdentical(files[0]);
    expectStoredIdentical(files[1]);
}

// ---- no row keeps "업로드중" after a fault that ends it ----

struct EndingCase {
    const char* name;
    service::Faults faults;
    const char* state;
};

void PrintTo(const EndingCase& c, std::ostream* os) {
    *os << c.name;
}

class RowEndingTest : public CompletionProofTest,
                      public ::testing::WithParamInterface<EndingCase> {};

// A 514 sends the row again in the same run.
TEST_P(RowEndingTest, TheRowTellsItFailedAndNothingClaimsToReconnect) {
    startService(GetParam().faults);
    handOver(file("one.bin", 5000));
    runToEnd();
    EXPECT_EQ(rowState(0), GetParam().state);
    EXPECT_NE(rowStatus(0), "업로드중입니다.");
    // The status line says why the row failed.
    EXPECT_EQ(h.window.view().text(control::kStatusLine),
              rowState(0) == "완료" ? "" : rowStatus(0));
}

service::Faults errorText() {
    service::Faults f;
    f.errorText = "점검중";
    return f;
}
service::Faults registerError() {
    service::Faults f;
    f.registerError = 4001;
    return f;
}
service::Faults disconnected() {
    service::Faults f;
    f.disconnectOnce = true;
    return f;
}

INSTANTIATE_TEST_SUITE_P(Faults, RowEndingTest,
                         ::testing::Values(EndingCase{"ErrorText", errorText(), "오류"},
                                           EndingCase{"RegisterError", registerError(),
                                                      "등록 에러"},
                                           EndingCase{"Disconnected514", disconnected(), "완료"}),
                         [](const auto& c) { return std::string(c.param.name); });

TEST_F(CompletionProofTest, ALocateTheCommandServerClosesLeavesTheRowFailed) {
    ScriptedServer command({{S::expect(1001)}});
    handOverAddress(command.port());
    handOver(file("one.bin", 5000));
    runToEnd();
    command.stop();
    EXPECT_EQ(rowState(0), "오류");
    EXPECT_EQ(rowStatus(0), "업로드하지 못했습니다.");
}

}  // namespace
}  // namespace quenvara::uploader
