// The engine's bookkeeping around breaks: whose record a retry resumes, and
// bytes sent twice counted once.
#include <gtest/gtest.h>

#include "uploader/transfer/retry_state.h"
#include "uploader/transfer/row_byte_account.h"

namespace quenvara::uploader {
namespace {

TEST(RetryState, AKeptRecordResumesOnlyTheRowThatBroke) {
    RetryState retry;
    EXPECT_FALSE(retry.takeRow(7));
    retry.keep();
    EXPECT_TRUE(retry.keptForWorkRow());
    // The run loop repeats the row: its record is still kept.
    EXPECT_TRUE(retry.takeRow(7));
    // Another row (the broken one was deleted or moved) takes its own record,
    // and the mark does not come back when the first row returns.
    EXPECT_FALSE(retry.takeRow(8));
    EXPECT_EQ(retry.keptFor(), 0u);
    EXPECT_FALSE(retry.takeRow(7));
}

TEST(RetryState, AFinishedFileDropsItsMarkButNotAnotherRows) {
    RetryState retry;
    retry.takeRow(3);
    retry.keep();
    retry.fileDone();
    EXPECT_EQ(retry.keptFor(), 0u);
    EXPECT_FALSE(retry.takeRow(3));

    // A group's next file on the same connection is the working row now;
    // the row that broke keeps its mark until it is taken or replaced.
    retry.takeRow(4);
    retry.keep();
    retry.nextInGroup(5);
    EXPECT_FALSE(retry.keptForWorkRow());
    retry.fileDone();
    EXPECT_EQ(retry.keptFor(), 4u);
    retry.keep();
    EXPECT_EQ(retry.keptFor(), 5u);
}

TEST(RowByteAccount, BytesSentAgainAfterABreakCountOnce) {
    RowByteAccount account;
    double done = 0;
    // 1000-byte file: 600 bytes out, then the connection breaks.
    done += account.startFile(1, 0, false);
    account.sent(400);
    account.sent(200);
    done += 600;
    // The server kept only 500: the 100 bytes it lost leave the count and
    // are counted again when they go out once more.
    done += account.startFile(1, 500, true);
    EXPECT_EQ(done, 500);
    account.sent(500);
    done += 500;
    EXPECT_EQ(done, 1000);
    EXPECT_EQ(account.counted(1), 1000);
}

TEST(RowByteAccount, AServerHoldingMoreThanWasCountedAddsTheDifference) {
    RowByteAccount account;
    double done = account.startFile(1, 0, false);
    account.sent(300);
    done += 300;
    // Bytes that reached the server although the send was not seen through.
    done += account.startFile(1, 450, true);
    EXPECT_EQ(done, 450);
}

TEST(RowByteAccount, AFirstStartCountsWhatTheServerHeldUnlessItResumesABreak) {
    RowByteAccount account;
    // A file partly sent in an earlier run: the run's total has all of it.
    EXPECT_EQ(account.startFile(1, 250, false), 250);
    // A resumed record's bytes were counted when they went out.
    EXPECT_EQ(account.startFile(2, 250, true), 0);
    // Rows are counted apart.
    account.sent(50);
    EXPECT_EQ(account.counted(1), 250);
    EXPECT_EQ(account.counted(2), 300);
    EXPECT_EQ(account.counted(3), 0);
}

}  // namespace
}  // namespace quenvara::uploader
