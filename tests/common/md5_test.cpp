#include "common/md5.h"

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "common/file_digest.h"
#include "tests/support/temp_dir.h"

namespace quenvara {
namespace {

std::string hexOf(std::string_view s) {
    return toHexLower(Md5::of(s));
}

TEST(Md5, Rfc1321TestSuite) {
    EXPECT_EQ(hexOf(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(hexOf("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(hexOf("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(hexOf("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(hexOf("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(hexOf("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(hexOf("1234567890123456789012345678901234567890123456789012345678901234567890"
                    "1234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Md5, PiecewiseUpdatesEqualOneUpdate) {
    std::string data(1000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>(i * 7);
    }
    // Split points around the 64-byte block and the 56-byte padding edge.
    for (std::size_t split : {1u, 55u, 56u, 63u, 64u, 65u, 127u, 999u}) {
        Md5 md5;
        md5.update(std::string_view(data).substr(0, split));
        md5.update(std::string_view(data).substr(split));
        EXPECT_EQ(md5.finish(), Md5::of(data)) << split;
    }
}

TEST(FileDigest, CoversOnlyTheFirstTenMebibytes) {
    testing::TempDir dir;
    std::string head(kDigestWindow, 'q');
    head[12345] = 'z';
    const auto small = dir.write("small.bin", head);
    const auto large = dir.write("large.bin", head + std::string(3 * 1024 * 1024, 'x'));
    const auto other = dir.write("other.bin", head.substr(0, kDigestWindow - 1) + "!");

    auto a = fileDigest(small);
    auto b = fileDigest(large);
    auto c = fileDigest(other);
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(*a, *b);
    EXPECT_NE(*a, *c);
    EXPECT_EQ(*a, toHexLower(Md5::of(head)));
    EXPECT_EQ(a->size(), 32u);
}

TEST(FileDigest, EmptyAndMissingFiles) {
    testing::TempDir dir;
    auto empty = fileDigest(dir.write("empty", ""));
    ASSERT_TRUE(empty);
    EXPECT_EQ(*empty, "d41d8cd98f00b204e9800998ecf8427e");

    auto missing = fileDigest(dir / "nope");
    EXPECT_FALSE(missing);
    EXPECT_NE(missing.error().find("No such file"), std::string::npos);
}

}  // namespace
}  // namespace quenvara
