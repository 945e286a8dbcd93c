#include "uploader/transfer/transfer_statistics.h"

#include <gtest/gtest.h>

#include <limits>

namespace quenvara::uploader {
namespace {

TEST(TransferStatistics, SpeedIsKibPerSecondSinceTheStart) {
    TransferStatistics s;
    s.startTime = 100;
    EXPECT_FALSE(s.speedKbps(100));  // not a whole second yet
    EXPECT_FALSE(s.speedKbps(99));
    EXPECT_EQ(s.speedKbps(101), 0);  // nothing sent
    TransferStatistics::add(s.bytesSent, 2.0 * 1024 * 1024);
    EXPECT_EQ(s.speedKbps(101), 2048);
    EXPECT_EQ(s.speedKbps(102), 1024);
    TransferStatistics::add(s.bytesSent, 1e300);  // beyond any integer: no speed, no overflow
    EXPECT_EQ(s.speedKbps(101), 0);
}

TEST(TransferStatistics, RemainingTimeOnlyWhenItCanBeTold) {
    EXPECT_EQ(TransferStatistics::remainingSeconds(10.0 * 1024 * 1024, 2048), 5);
    EXPECT_EQ(TransferStatistics::remainingSeconds(0, 2048), 0);
    EXPECT_FALSE(TransferStatistics::remainingSeconds(1024, 0));
    EXPECT_FALSE(TransferStatistics::remainingSeconds(-1, 10));  // more done than announced
    EXPECT_FALSE(TransferStatistics::remainingSeconds(std::numeric_limits<double>::infinity(), 1));
    EXPECT_FALSE(TransferStatistics::remainingSeconds(std::numeric_limits<double>::quiet_NaN(), 1));
}

}  // namespace
}  // namespace quenvara::uploader
