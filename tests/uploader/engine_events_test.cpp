// The events the engine tells about a run, in order, against the reference
// service: a clean file, and a file whose connection breaks in its data.
#include <map>
#include <mutex>
#include <sstream>

#include "tests/uploader/transfer_fixture.h"

namespace quenvara::uploader {
namespace {

using testing_transfer::TransferTest;

const char* nameOf(RowState state) {
    switch (state) {
        case RowState::Waiting:
            return "waiting";
        case RowState::Uploading:
            return "uploading";
        case RowState::Paused:
            return "paused";
        case RowState::Done:
            return "done";
        case RowState::Failed:
            return "failed";
    }
    return "?";
}

// Writes every event down (a run of byte events as one line) and hands it
// on to the window, as the engine would without it.
class RecordingEvents final : public EngineEvents {
  public:
    explicit RecordingEvents(EngineEvents& window) : window_(window) {}

    void runStarted() override {
        add("run started");
        window_.runStarted();
    }
    void rowStateChanged(std::uint64_t rowId, RowState state,
                         std::string_view statusText) override {
        add("row " + std::to_string(rowId) + " " + nameOf(state));
        {
            std::lock_guard lock(mutex_);
            statusTexts_.emplace_back(statusText);
        }
        window_.rowStateChanged(rowId, state, statusText);
    }
    void fileStarted(const FileStart& file) override {
        std::ostringstream line;
        line << "file " << file.rowId << " size " << file.size << " from " << file.serverOffset;
        add(line.str());
        {
            std::lock_guard lock(mutex_);
            counted_[file.rowId] += file.doneChange;
            offsets_[file.rowId].push_back(file.serverOffset);
        }
        window_.fileStarted(file);
    }
    void bytesSent(std::uint64_t rowId, double bytes) override {
        {
            std::lock_guard lock(mutex_);
            counted_[rowId] += bytes;
            const auto line = "bytes " + std::to_string(rowId);
            if (lines_.empty() || lines_.back() != line) {
                lines_.push_back(line);
            }
        }
        window_.bytesSent(rowId, bytes);
    }
    void fileStopped(std::uint64_t rowId) override {
        add("file " + std::to_string(rowId) + " stopped");
        window_.fileStopped(rowId);
    }
    void runEnded(const RunEnd& end) override {
        add("run ended: " + std::to_string(end.failures) + " failures" +
            (end.alreadyConnected ? ", already connected" : "") +
            (end.reachedEnd ? ", every row" : ""));
        window_.runEnded(end);
    }

    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    std::vector<std::string> statusTexts() const {
        std::lock_guard lock(mutex_);
        return statusTexts_;
    }
    // Bytes counted into the run for the row: every byte sent plus the
    // corrections at each start.
    double counted(std::uint64_t rowId) const {
        std::lock_guard lock(mutex_);
        const auto it = counted_.find(rowId);
        return it == counted_.end() ? 0 : it->second;
    }
    std::vector<double> offsets(std::uint64_t rowId) const {
        std::lock_guard lock(mutex_);
        const auto it = offsets_.find(rowId);
        return it == offsets_.end() ? std::vector<double>{} : it->second;
    }

  private:
    void add(std::string line) {
        std::lock_guard lock(mutex_);
        lines_.push_back(std::move(line));
    }

    EngineEvents& window_;
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    std::vector<std::string> statusTexts_;
    std::map<std::uint64_t, double> counted_;
    std::map<std::uint64_t, std::vector<double>> offsets_;
};

class EngineEventsTest : public TransferTest {
  protected:
    void SetUp() override {
        TransferServices services{h.clock, h.notices, connector_, question_, registered_};
        services.events = &events_;
        h.window.setTransferFactory(CFileSocket::factory(services));
    }

    RecordingEvents events_{h.window};
};

TEST_F(EngineEventsTest, ARunWithABreakTellsTheFailureTheResumeAndOneCountOfEveryByte) {
    // Large enough that the break comes while data is still going out.
    constexpr std::size_t kBrokenSize = 12'000'000;
    constexpr std::uint64_t kDropAt = 1'000'000;
    service::Faults faults;
    faults.dropAfterBytes = kDropAt;
    faults.dropName = "broken.bin";
    startService(faults);
    const auto broken = file("broken.bin", kBrokenSize, 5);
    const auto clean = file("clean.bin", 70'000, 6);
    handOver(broken);
    handOver(clean);
    const auto first = h.window.list().rowId(0);
    const auto second = h.window.list().rowId(1);
    const auto a = std::to_string(first);
    const auto b = std::to_string(second);
    runToEnd();

    const std::vector<std::string> expected = {
        "run started",
        "row " + a + " uploading",
        "file " + a + " size 1.2e+07 from 0",
        "row " + a + " failed",
        "row " + a + " uploading",
        "file " + a + " size 1.2e+07 from 1e+06",
        "bytes " + a,
        "row " + a + " done",
        "row " + b + " uploading",
        "file " + b + " size 70000 from 0",
        "bytes " + b,
        "row " + b + " done",
        "run ended: 1 failures, every row",
    };
    // Bytes are told as the server acknowledges them: whether any were
    // before the break depends on when its acknowledgements came.
    auto lines = events_.lines();
    if (lines.size() > 3 && lines[3] == "bytes " + a) {
        lines.erase(lines.begin() + 3);
    }
    EXPECT_EQ(lines, expected);
    // The failure says why; the resume starts where the server's data ends.
    const auto texts = events_.statusTexts();
    ASSERT_EQ(texts.size(), 6u);
    EXPECT_EQ(texts[1].rfind("패킷 전송 에러 입니다. (code:18", 0), 0u) << texts[1];
    EXPECT_EQ(texts[3], "완료되었습니다.");
    EXPECT_EQ(events_.offsets(first), (std::vector<double>{0, kDropAt}));
    // Bytes sent twice around the break count once.
    EXPECT_EQ(events_.counted(first), static_cast<double>(kBrokenSize));
    EXPECT_EQ(events_.counted(second), 70'000.0);
    EXPECT_EQ(h.window.doneBytes(), static_cast<double>(kBrokenSize + 70'000));
    EXPECT_EQ(h.window.doneCount(), 2);
    expectStoredIdentical(broken);
    expectStoredIdentical(clean);
}

TEST_F(EngineEventsTest, ACleanRunIsFramedByStartAndEndAndTheWindowActsOnThem) {
    startService();
    const auto one = file("one.bin", 10'000, 7);
    handOver(one);
    runToEnd();
    const auto lines = events_.lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "run started");
    EXPECT_EQ(lines.back(), "run ended: 0 failures, every row");
    // Forwarded: the window counted the file and ended the run as usual.
    EXPECT_EQ(h.window.doneCount(), 1);
    EXPECT_EQ(h.window.runningFlag(), 0);
    EXPECT_EQ(h.window.view().text(control::kStatusLine), "");
}

}  // namespace
}  // namespace quenvara::uploader
