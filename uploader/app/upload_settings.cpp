#include "uploader/app/upload_settings.h"

#include "common/ini_file.h"

namespace quenvara::uploader {
namespace {

constexpr std::size_t kValueBuffer = 128;

Status setAndSave(const std::filesystem::path& path, std::string_view section, std::string_view key,
                  std::string_view value) {
    auto ini = IniFile::load(path);
    if (!ini) {
        return Status::failure(ini.error());
    }
    ini->set(section, key, value);
    return ini->save(path);
}

}  // namespace

SettingsStore::SettingsStore(std::filesystem::path settingsDir, std::string_view programFileName)
    : iniPath_(settingsDir / "quenvara.ini"),
      profilePath_(settingsDir / (std::string(programFileName) + ".INI")) {}

std::string SettingsStore::clip(std::string value) {
    if (value.size() > kValueBuffer - 1) {
        value.resize(kValueBuffer - 1);
    }
    return value;
}

UploadSettings SettingsStore::loadAtStart(std::string& warnings) {
    UploadSettings s;
    auto ini = IniFile::load(iniPath_);
    if (!ini) {
        warnings += ini.error() + "\n";
        ini = IniFile{};
    }
    const auto read = [&](std::string_view section, std::string_view key,
                          std::string_view fallback) {
        return clip(ini->get(section, key).value_or(std::string(fallback)));
    };

    if (read("CheckFirstAutoOff", "Value1", "yes") == "yes") {
        if (auto st = writeAutoEnd(true); !st) {
            warnings += st.error() + "\n";
        }
    }
    s.notificationDisplayMs = profileInt(read("SetTaskSec", "Value1", "3000"));
    s.notificationAutoHide = read("SetTaskSec", "Value2", "true");
    s.notificationsOff = read("SetTaskSec", "Value3", "true") == "false";

    auto profile = IniFile::load(profilePath_);
    if (!profile) {
        warnings += profile.error() + "\n";
        profile = IniFile{};
    }
    if (auto v = profile->get("Setting", "AutoEnd")) {
        s.autoEnd = profileInt(clip(*v));
    }
    return s;
}

Status SettingsStore::writeAutoEnd(bool closeWindow) {
    return setAndSave(profilePath_, "Setting", "AutoEnd",
                      std::to_string(closeWindow ? UploadSettings::kAutoEndClose
                                                 : UploadSettings::kAutoEndKeepOpen));
}

Status SettingsStore::writeNotificationsOff(bool off) {
    return setAndSave(iniPath_, "SetTaskSec", "Value3", off ? "false" : "true");
}

}  // namespace quenvara::uploader
