#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace quenvara::uploader {

// What the window takes from quenvara.ini and its profile at start.
struct UploadSettings {
    static constexpr int kAutoEndClose = 300;
    static constexpr int kAutoEndKeepOpen = 301;

    int notificationDisplayMs = 3000;           // "SetTaskSec"/"Value1"
    std::string notificationAutoHide = "true";  // "SetTaskSec"/"Value2", handed on as text
    bool notificationsOff = false;              // "SetTaskSec"/"Value3" == "false"
    int autoEnd = kAutoEndClose;                // profile "Setting"/"AutoEnd"

    bool closeWindowChecked() const { return autoEnd == kAutoEndClose; }
};

// quenvara.ini and the program profile (the program file name + ".INI"),
// both in the settings folder.
class SettingsStore {
  public:
    SettingsStore(std::filesystem::path settingsDir, std::string_view programFileName);

    const std::filesystem::path& iniPath() const { return iniPath_; }
    const std::filesystem::path& profilePath() const { return profilePath_; }

    // Reads everything in start-up order. "CheckFirstAutoOff"/"Value1" of
    // exactly "yes" (the default) switches close-after-transfer on again by
    // writing AutoEnd = 300 first. Problems with the files are reported in
    // `warnings`; defaults then apply.
    UploadSettings loadAtStart(std::string& warnings);

    // The "창 닫기" check box: 300 when checked, 301 when not.
    Status writeAutoEnd(bool closeWindow);
    // The "알림창 끄기" check box: Value3 "false" when checked, "true" when not.
    Status writeNotificationsOff(bool off);

    // A value read as the profile functions read it into a 128-byte buffer.
    static std::string clip(std::string value);

  private:
    std::filesystem::path iniPath_;
    std::filesystem::path profilePath_;
};

}  // namespace quenvara::uploader
