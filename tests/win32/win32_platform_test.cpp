// The Win32 pieces of platform/ and common/ under Wine: Korean names reach
// the disk as themselves, the ANSI code page (949 in the tests) is read as
// such, program and settings folders are found the Windows way, a library
// is loaded by its full path, and files open only as regular files.
#include <gtest/gtest.h>
#include <io.h>
#include <windows.h>

#include <fstream>
#include <map>

#include "common/regular_file.h"
#include "platform/dynamic_library.h"
#include "platform/path_text.h"
#include "platform/system_dirs.h"
#include "tests/support/temp_dir.h"

namespace quenvara::platform {
namespace {

EnvLookup fakeEnv(std::map<std::string, std::string> vars) {
    return [vars](const char* name) -> std::optional<std::string> {
        auto it = vars.find(name);
        return it == vars.end() ? std::nullopt : std::optional<std::string>(it->second);
    };
}

TEST(Win32Paths, KoreanNamesReachTheDiskAsThemselves) {
    testing::TempDir dir;
    const std::string name = "노래 목록.txt";
    dir.write(name, "x");
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW((dir.path() / L"*.txt").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    ::FindClose(search);
    EXPECT_EQ(std::wstring(found.cFileName), L"\uB178\uB798 \uBAA9\uB85D.txt");
    EXPECT_EQ(utf8Text(dir.path() / found.cFileName).substr(utf8Text(dir.path()).size() + 1), name);
    // "노래" in the ANSI code page of a Korean system.
    ASSERT_EQ(::GetACP(), 949u);
    EXPECT_EQ(systemTextPath("\xB3\xEB\xB7\xA1.mp3"), utf8Path("노래.mp3"));
    EXPECT_EQ(utf8FromSystemText("\xC8\xB8\xBF\xF8"), "회원");
}

TEST(Win32Dirs, ProgramAndSettingsFoldersTheWindowsWay) {
    const auto exe = executablePath();
    EXPECT_EQ(exe.extension(), ".exe");
    EXPECT_TRUE(std::filesystem::exists(exe));
    EXPECT_EQ(systemDirectory(fakeEnv({}), exe.parent_path()), exe.parent_path());
    EXPECT_EQ(systemDirectory(fakeEnv({{"QUENVARA_SYSTEM_DIR", "D:\\q"}}), exe.parent_path()),
              std::filesystem::path(L"D:\\q"));
    EXPECT_EQ(settingsDirectory(fakeEnv({{"APPDATA", "C:\\Users\\u\\AppData\\Roaming"}})),
              std::filesystem::path(L"C:\\Users\\u\\AppData\\Roaming\\Quenvara"));
    EXPECT_EQ(settingsDirectory(fakeEnv({{"QUENVARA_CONFIG_DIR", "C:\\설정"}})),
              std::filesystem::path(L"C:\\\uC124\uC815"));
    // The real environment, read wide and handed on as UTF-8.
    ::_wputenv(L"QUENVARA_TEST_TEXT=\uD68C\uC6D0");
    EXPECT_EQ(processEnvironment()("QUENVARA_TEST_TEXT"), "회원");
}

TEST(Win32DynamicLibrary, LoadsByFullPathAndTellsWhyNot) {
    DynamicLibrary library(utf8Text(std::filesystem::path(QUENVARA_MF_DLL)));
    ASSERT_TRUE(library.loaded()) << library.error();
    EXPECT_NE(library.symbol("L_OrvaneMusicIsWMA"), nullptr);
    EXPECT_EQ(library.symbol("L_OrvaneMusicIsWMA@0"), nullptr);
    DynamicLibrary missing("C:\\nowhere\\QuenvaraMF.dll");
    EXPECT_FALSE(missing.loaded());
    EXPECT_NE(missing.error().find("C:\\nowhere\\QuenvaraMF.dll: "), std::string::npos);
}

TEST(Win32RegularFile, OnlyRegularFilesOpenAndTheirTimesAreRead) {
    testing::TempDir dir;
    const auto file = dir.write("곡.mp3", "abc");
    auto opened = openRegularFile(file);
    ASSERT_TRUE(opened) << opened.error();
    char buffer[8] = {};
    EXPECT_EQ(::_read(*opened, buffer, sizeof buffer), 3);
    const auto byPath = modifiedTime(file);
    EXPECT_GT(byPath, 1'500'000'000'000'000'000);  // after 2017, in nanoseconds
    EXPECT_EQ(modifiedTime(*opened), byPath);
    ::_close(*opened);

    auto folder = openRegularFile(dir.path());
    ASSERT_FALSE(folder);
    EXPECT_NE(folder.error().find("(폴더)"), std::string::npos) << folder.error();
    EXPECT_NE(notRegularFileReason(dir.path()).find("(폴더)"), std::string::npos);
    EXPECT_EQ(notRegularFileReason(file), "");
    auto missing = openRegularFile(dir / "없음.mp3");
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().find("없음.mp3: No such file"), std::string::npos) << missing.error();

    // A file below its root opens; one outside it does not.
    std::filesystem::create_directories(dir / "root");
    const auto inner = dir.write("root/안.txt", "x");
    auto inside = openFileInside(inner, dir / "root");
    ASSERT_TRUE(inside) << inside.error();
    ::_close(*inside);
    EXPECT_FALSE(openFileInside(file, dir / "root"));
}

}  // namespace
}  // namespace quenvara::platform
