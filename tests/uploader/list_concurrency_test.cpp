// 10,000 rows through hand-over intake and repeated deletes while a fake
// engine thread works through the same rows. Measures nothing; it proves the
// list stays consistent (run it under ThreadSanitizer: ctest -L concurrency).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "handover_client/job_builder.h"
#include "tests/uploader/window_harness.h"
#include "uploader/list/job_state.h"

namespace quenvara::uploader {
namespace {

constexpr int kRows = 10'000;

TEST(ListConcurrency, IntakeAndDeleteWhileTheEngineUpdatesRows) {
    testing_support::WindowHarness h;
    auto& window = h.window;
    auto& list = window.list();
    window.view().setText(control::kPathBox, "/queued");  // no auto-start: the engine runs already
    const auto file = h.dir.write("f.bin", "12345678");

    std::atomic<bool> intakeDone{false};
    std::atomic<int> completed{0};
    window.setRunningFlag(1);
    std::thread engine([&] {
        auto& gate = window.gate();
        gate.enterRun();
        for (;;) {
            gate.safePoint();
            auto guard = list.lock();
            const int row = list.currentRow();
            if (row >= list.rowCount()) {
                guard.unlock();
                if (intakeDone) {
                    break;
                }
                std::this_thread::yield();  // wait for the window's next rows
                continue;
            }
            {
                // The current row is always the first one still waiting.
                EXPECT_EQ(list.jobState(row), job_state::kWaiting);
                list.setText(row, CFileListView::kSize, "8.00 B  / 8.00 B ");
                list.setJobState(row, job_state::kDone);
                list.setCurrentRow(row + 1);
                window.addDoneBytes(list.itemSize(row));
                ++completed;
            }
        }
        gate.leaveRun();
    });

    int deletedSoFar = 0;
    for (int i = 0; i < kRows; ++i) {
        tools::PageValues values;
        values.userNumber = i + 1;  // every row its own group, so finished rows can go
        auto record = tools::buildUploadJob(file, values);
        ASSERT_TRUE(record);
        ASSERT_TRUE(window.onCopyData(handover::makeUploadJobMessage(*record)));
        if (i % 500 == 499) {
            const int before = list.rowCount();
            window.onCommand(control::kDelete);
            deletedSoFar += before - list.rowCount();
            auto guard = list.lock();
            const int current = list.currentRow();
            ASSERT_GE(current, 0);
            ASSERT_LE(current, list.rowCount());
            for (int r = 0; r < list.rowCount(); ++r) {
                ASSERT_EQ(list.jobState(r) == job_state::kDone, r < current) << r;
            }
        }
    }
    intakeDone = true;
    engine.join();
    window.setRunningFlag(0);

    EXPECT_EQ(completed.load(), kRows);
    EXPECT_EQ(deletedSoFar + list.rowCount(), kRows);
    EXPECT_TRUE(list.allDone());
    window.onCommand(control::kDelete);
    EXPECT_EQ(list.rowCount(), 0);
    EXPECT_EQ(list.currentRow(), 0);
    EXPECT_EQ(window.doneBytes(), 8.0 * kRows);
}

}  // namespace
}  // namespace quenvara::uploader
