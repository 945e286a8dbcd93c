#include "common/ini_file.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/temp_dir.h"

namespace quenvara {
namespace {

TEST(IniFile, ReadsLikeTheProfileFunctions) {
    auto ini = IniFile::parse(
        "\xEF\xBB\xBF; comment\r\n"
        "[CheckFirstAutoOff]\r\n"
        "  value1 =  yes  \r\n"
        "[SetTaskSec]\n"
        "Value1=\"2500\"\n"
        "novalue\n"
        "Value2=\n");
    EXPECT_EQ(ini.get("checkfirstautooff", "Value1"), "yes");
    EXPECT_EQ(ini.get("SetTaskSec", "VALUE1"), "2500");
    EXPECT_EQ(ini.get("SetTaskSec", "Value2"), "");
    EXPECT_FALSE(ini.get("SetTaskSec", "novalue"));
    EXPECT_FALSE(ini.get("Other", "Value1"));
}

TEST(IniFile, SetKeepsEverythingElse) {
    auto ini = IniFile::parse("; keep me\n[A]\nx=1\n\n[B]\ny=2\n");
    ini.set("a", "X", "10");
    ini.set("A", "z", "3");
    ini.set("C", "w", "4");
    EXPECT_EQ(ini.text(), "; keep me\n[A]\nx=10\nz=3\n\n[B]\ny=2\n[C]\nw=4\n");
}

TEST(IniFile, SaveAndLoadRoundTrip) {
    testing::TempDir dir;
    const auto path = dir / "sub/dir/quenvara.ini";
    IniFile ini;
    ini.set("SetTaskSec", "Value3", "false");
    ASSERT_TRUE(ini.save(path));
    auto back = IniFile::load(path);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->get("SetTaskSec", "Value3"), "false");
    EXPECT_FALSE(std::filesystem::exists(path.string() + ".tmp"));
}

TEST(IniFile, MissingFileIsEmptyOversizedFileIsRefused) {
    testing::TempDir dir;
    auto missing = IniFile::load(dir / "none.ini");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->text(), "");

    const auto big = dir.write("big.ini", std::string(IniFile::kMaxFileSize + 1, 'x'));
    auto refused = IniFile::load(big);
    EXPECT_FALSE(refused);
    EXPECT_NE(refused.error().find("1 MiB"), std::string::npos);

    auto folder = IniFile::load(dir.path());
    EXPECT_FALSE(folder);
}

TEST(IniFile, ProfileIntReadsLeadingDigitsOnly) {
    EXPECT_EQ(profileInt("3000"), 3000);
    EXPECT_EQ(profileInt("  -42abc"), -42);
    EXPECT_EQ(profileInt("abc"), 0);
    EXPECT_EQ(profileInt(""), 0);
    EXPECT_EQ(profileInt("99999999999999999999"), 2147483647);
    EXPECT_EQ(profileInt("-99999999999999999999"), -2147483647 - 1);
}

}  // namespace
}  // namespace quenvara
