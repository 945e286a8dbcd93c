#include "common/md4.h"

#include <gtest/gtest.h>

#include "common/md5.h"

namespace quenvara {
namespace {

std::string md4Hex(std::string_view s) {
    return toHexLower(Md4::of({reinterpret_cast<const std::uint8_t*>(s.data()), s.size()}));
}

TEST(Md4, Rfc1320TestSuite) {
    EXPECT_EQ(md4Hex(""), "31d6cfe0d16ae931b73c59d7e0c089c0");
    EXPECT_EQ(md4Hex("a"), "bde52cb31de33e46245e05fbdbd6fb24");
    EXPECT_EQ(md4Hex("abc"), "a448017aaf21d8525fc10ae87aa6729d");
    EXPECT_EQ(md4Hex("message digest"), "d9130a8164549fe818874806e1c7014b");
    EXPECT_EQ(md4Hex("abcdefghijklmnopqrstuvwxyz"), "d79e1c308aa5bbcdeea8ed63df412da9");
    EXPECT_EQ(md4Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "043f8582f241db351ce627e153e7f0e4");
    EXPECT_EQ(md4Hex("1234567890123456789012345678901234567890123456789012345678901234567890"
                     "1234567890"),
              "e33b4ddc9c38f2199c3e7b164fcc0536");
}

TEST(Md4, PiecewiseUpdatesEqualOneUpdate) {
    std::string data(300, 'q');
    for (std::size_t split : {1u, 55u, 64u, 65u, 299u}) {
        Md4 md4;
        md4.update(std::string_view(data).substr(0, split));
        md4.update(std::string_view(data).substr(split));
        EXPECT_EQ(toHexLower(md4.finish()), md4Hex(data)) << split;
    }
}

}  // namespace
}  // namespace quenvara
