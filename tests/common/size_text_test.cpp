#include "common/size_text.h"

#include <gtest/gtest.h>

namespace quenvara {
namespace {

TEST(SizeText, UnitsOf1024WithOneDecimal) {
    EXPECT_EQ(sizeText(0), "0.0 B");
    EXPECT_EQ(sizeText(512), "512.0 B");
    EXPECT_EQ(sizeText(1023), "1023.0 B");
    EXPECT_EQ(sizeText(1024), "1.0 K");
    EXPECT_EQ(sizeText(1.5 * 1048576), "1.5 M");
    EXPECT_EQ(sizeText(1048575), "1024.0 K");  // rounding shows, the unit does not change
    EXPECT_EQ(sizeText(1073741824.0 * 5), "5.0 G");
    EXPECT_EQ(sizeText(1e300).substr(0, 4), "9313");  // no truncated buffer for huge sizes
}

}  // namespace
}  // namespace quenvara
