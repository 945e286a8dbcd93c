#include "uploader/app/upload_settings.h"

#include <gtest/gtest.h>

#include <fstream>

#include "common/ini_file.h"
#include "tests/support/temp_dir.h"

namespace quenvara::uploader {
namespace {

std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(Settings, DefaultsWithoutAnyFile) {
    testing::TempDir dir;
    SettingsStore store(dir.path(), "QuenvaraUpLoad");
    std::string warnings;
    const auto s = store.loadAtStart(warnings);
    EXPECT_EQ(warnings, "");
    EXPECT_EQ(s.notificationDisplayMs, 3000);
    EXPECT_EQ(s.notificationAutoHide, "true");
    EXPECT_FALSE(s.notificationsOff);
    EXPECT_EQ(s.autoEnd, 300);
    EXPECT_TRUE(s.closeWindowChecked());
    // The "yes" default wrote AutoEnd into the profile; quenvara.ini itself
    // is never created by reading.
    EXPECT_EQ(store.profilePath(), dir / "QuenvaraUpLoad.INI");
    EXPECT_NE(readFile(store.profilePath()).find("AutoEnd=300"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(store.iniPath()));
}

TEST(Settings, OnlyExactYesResetsAutoEnd) {
    for (const auto& [value1, expected] :
         std::vector<std::pair<std::string, int>>{{"yes", 300}, {"YES", 301}, {"no", 301}}) {
        testing::TempDir dir;
        dir.write("quenvara.ini", "[CheckFirstAutoOff]\nValue1=" + value1 + "\n");
        dir.write("QuenvaraUpLoad.INI", "[Setting]\nAutoEnd=301\n");
        SettingsStore store(dir.path(), "QuenvaraUpLoad");
        std::string warnings;
        EXPECT_EQ(store.loadAtStart(warnings).autoEnd, expected) << value1;
    }
}

TEST(Settings, AutoEndOtherThan300LeavesCloseWindowUnchecked) {
    for (const std::string stored : {"301", "0", "299", "abc"}) {
        testing::TempDir dir;
        dir.write("quenvara.ini", "[CheckFirstAutoOff]\nValue1=off\n");
        dir.write("QuenvaraUpLoad.INI", "[Setting]\nAutoEnd=" + stored + "\n");
        SettingsStore store(dir.path(), "QuenvaraUpLoad");
        std::string warnings;
        EXPECT_FALSE(store.loadAtStart(warnings).closeWindowChecked()) << stored;
    }
}

TEST(Settings, TaskSecondsValues) {
    testing::TempDir dir;
    dir.write("quenvara.ini",
              "[SetTaskSec]\nValue1=fast\nValue2=false\nValue3=false\n"
              "[CheckFirstAutoOff]\nValue1=no\n");
    SettingsStore store(dir.path(), "QuenvaraUpLoad");
    std::string warnings;
    const auto s = store.loadAtStart(warnings);
    EXPECT_EQ(s.notificationDisplayMs, 0);  // not a number
    EXPECT_EQ(s.notificationAutoHide, "false");
    EXPECT_TRUE(s.notificationsOff);
    EXPECT_FALSE(std::filesystem::exists(store.profilePath()));
}

TEST(Settings, ValuesAreReadInto128ByteBuffers) {
    testing::TempDir dir;
    dir.write("quenvara.ini", "[SetTaskSec]\nValue2=" + std::string(200, 'a') + "\n");
    SettingsStore store(dir.path(), "QuenvaraUpLoad");
    std::string warnings;
    EXPECT_EQ(store.loadAtStart(warnings).notificationAutoHide.size(), 127u);
}

TEST(Settings, CheckBoxesWriteTheirKeys) {
    testing::TempDir dir;
    dir.write("quenvara.ini", "; site settings\n[SetTaskSec]\nValue1=5000\n");
    SettingsStore store(dir.path(), "MyUploader");
    ASSERT_TRUE(store.writeAutoEnd(false));
    ASSERT_TRUE(store.writeNotificationsOff(true));
    auto profile = IniFile::load(dir / "MyUploader.INI");
    EXPECT_EQ(profile->get("Setting", "AutoEnd"), "301");
    auto ini = IniFile::load(store.iniPath());
    EXPECT_EQ(ini->get("SetTaskSec", "Value3"), "false");
    EXPECT_EQ(ini->get("SetTaskSec", "Value1"), "5000");
    EXPECT_NE(readFile(store.iniPath()).find("; site settings"), std::string::npos);

    ASSERT_TRUE(store.writeAutoEnd(true));
    ASSERT_TRUE(store.writeNotificationsOff(false));
    EXPECT_EQ(IniFile::load(dir / "MyUploader.INI")->get("Setting", "AutoEnd"), "300");
    EXPECT_EQ(IniFile::load(store.iniPath())->get("SetTaskSec", "Value3"), "true");
}

TEST(Settings, UnreadableFileIsReportedAndDefaultsApply) {
    testing::TempDir dir;
    std::filesystem::create_directory(dir / "quenvara.ini");  // a folder, not a file
    SettingsStore store(dir.path(), "QuenvaraUpLoad");
    std::string warnings;
    const auto s = store.loadAtStart(warnings);
    EXPECT_NE(warnings.find("quenvara.ini"), std::string::npos);
    EXPECT_EQ(s.notificationDisplayMs, 3000);
}

}  // namespace
}  // namespace quenvara::uploader
