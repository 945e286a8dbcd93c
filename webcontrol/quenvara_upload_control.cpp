#include "webcontrol/quenvara_upload_control.h"

#include <cstdio>

namespace quenvara::webcontrol {

CQuenvaraUploadControlCtrl::CQuenvaraUploadControlCtrl(ControlServices services,
                                                       ControlModule& module)
    : services_(std::move(services)), module_(module) {
    upload_.setRecordTag(4);
    myStorage_.setRecordTag(3);
}

void CQuenvaraUploadControlCtrl::warn(std::string_view text, platform::NoticeIcon icon) {
    services_.notices.messageBox(text, "알림", platform::NoticeButtons::Ok, icon);
}

void CQuenvaraUploadControlCtrl::setStrCmdServerIP(const std::string& ip) {
    // The address travels in a 16-byte field with its terminator, right
    // before the port: a longer one is refused rather than cut or spilled.
    if (ip.size() >= 16) {
        warn("명령 서버 주소가 너무 깁니다 (15 바이트까지): " + ip);
        return;
    }
    serverIp_ = ip;
    modified_ = true;
}

void CQuenvaraUploadControlCtrl::setDwServerPort(std::int32_t port) {
    serverPort_ = port;
    modified_ = true;
}

void CQuenvaraUploadControlCtrl::setNUpActiveType(std::int32_t type) {
    activeType_ = type;
    modified_ = true;
}

std::map<std::string, ControlValue> CQuenvaraUploadControlCtrl::saveProperties() const {
    return {{"strCmdServerIP", serverIp_},
            {"dwServerPort", serverPort_},
            {"nUpActiveType", activeType_}};
}

void CQuenvaraUploadControlCtrl::loadProperties(const std::map<std::string, ControlValue>& bag) {
    if (auto it = bag.find("strCmdServerIP"); it != bag.end()) {
        if (const auto* text = std::get_if<std::string>(&it->second)) {
            setStrCmdServerIP(*text);
        }
    }
    if (auto it = bag.find("dwServerPort"); it != bag.end()) {
        if (const auto* value = std::get_if<std::int32_t>(&it->second)) {
            serverPort_ = *value;
        }
    }
    if (auto it = bag.find("nUpActiveType"); it != bag.end()) {
        if (const auto* value = std::get_if<std::int32_t>(&it->second)) {
            activeType_ = *value;
        }
    }
    modified_ = false;
}

std::int32_t CQuenvaraUploadControlCtrl::GetAllFileCount() const {
    return static_cast<std::int32_t>(module_.files().size());
}

std::int32_t CQuenvaraUploadControlCtrl::GetMusicCount() const {
    return static_cast<std::int32_t>(module_.music().size());
}

// An index outside the array gives an empty value; nothing outside it is read.
ControlValue CQuenvaraUploadControlCtrl::GetAllFileList(std::int32_t index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= module_.files().size()) {
        return std::monostate{};
    }
    return module_.files()[static_cast<std::size_t>(index)];
}

ControlValue CQuenvaraUploadControlCtrl::GetMusicInfo(std::int32_t index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= module_.music().size()) {
        return std::monostate{};
    }
    return module_.music()[static_cast<std::size_t>(index)];
}

}  // namespace quenvara::webcontrol
