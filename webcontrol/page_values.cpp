// The page's values (SetUpValue) and the music list text (SetOrvaneFile).
#include <cmath>
#include <cstdlib>
#include <limits>

#include "common/cp949.h"
#include "webcontrol/quenvara_upload_control.h"

namespace quenvara::webcontrol {

namespace {

// The page's number, truncated to int32; out of range or not a number is 0.
std::int32_t truncatedInt32(const std::string& text) {
    const double value = std::strtod(text.c_str(), nullptr);
    if (!std::isfinite(value) || value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        return 0;
    }
    return static_cast<std::int32_t>(value);
}

constexpr std::string_view kRecordSeparator = ":**:";

std::optional<handover::MusicListEntry> entryOf(std::string_view record,
                                                std::vector<std::string>* refused) {
    const char checked = record.size() > 0 ? record[0] : 'N';
    const char second = record.size() > 1 ? record[1] : 'N';
    const std::string_view name = record.size() > 2 ? record.substr(2) : std::string_view{};
    const auto bytes = cp949::fromUtf8Lossy(name);
    if (!handover::MusicListEntry::fits(bytes)) {
        if (refused != nullptr) {
            refused->emplace_back(name.substr(0, 100));
        }
        return std::nullopt;
    }
    return handover::MusicListEntry(checked, second, bytes);
}

}  // namespace

std::vector<handover::MusicListEntry> parseMusicListText(const std::string& text,
                                                         std::vector<std::string>* refused) {
    std::vector<handover::MusicListEntry> entries;
    std::string_view rest = text;
    while (!rest.empty()) {
        const auto separator = rest.rfind(kRecordSeparator);
        const auto record = separator == std::string_view::npos
                                ? rest
                                : rest.substr(separator + kRecordSeparator.size());
        if (auto entry = entryOf(record, refused)) {
            entries.push_back(*entry);
        }
        if (separator == std::string_view::npos) {
            break;
        }
        rest = rest.substr(0, separator);
    }
    return entries;
}

void CQuenvaraUploadControlCtrl::SetUpValue(const std::string& key, const std::string& value) {
    const bool upload = uploadMode();
    if (!upload && !myStorageMode()) {
        return;
    }
    UserValueBlock& block = upload ? uploadValues_ : myStorageValues_;
    // A text the records cannot carry is refused with the converter's word.
    const auto take = [this](const Status& status) {
        if (!status) {
            warn(status.error());
        }
    };
    // A text value too long for its field is refused whole, never cut.
    if (key == "아이디") {
        const auto number = truncatedInt32(value);
        block.setUserNumber(number);
        if (upload) {
            upload_.setUserNumberCopy(number);
        } else {
            myStorage_.setUserNumberCopy(number);
        }
    } else if (key == "등록자") {
        take(block.setRegistrantName(value));
    } else if (key == "파일및폴더명") {
        take(block.setDisplayText(value));
    } else if (key == "파일크기") {
        char* end = nullptr;
        const double size = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !std::isfinite(size) || size < 0) {
            warn("파일크기 값이 올바르지 않습니다: " + value);
            return;
        }
        (upload ? realSize_ : myStorageRealSize_) = size;
        block.setSizeCopy(size);
        if (upload) {
            upload_.setItemSize(size);
        } else {
            myStorage_.setItemSize(size);
        }
    } else if (key == "폴더경로" || key == "파일경로") {
        if (!value.empty()) {
            setPagePath(upload, key == "폴더경로", value);
        }
    } else if (upload && key == "SECTCODE") {
        take(block.setSectionCode(value));
    } else if (upload && key == "SECTSUB") {
        take(block.setSubSectionCode(value));
    } else if (upload && key == "ADULT") {
        take(block.setAdultFlag(value));
    }
}

void CQuenvaraUploadControlCtrl::refusePagePath(bool upload) {
    // Whether the path exists is not told; nothing of it is read, and the
    // job so far is dropped, so that nothing goes out.
    warn(kRefusedPathText);
    if (upload) {
        upload_ = UploadJobRecord{};
        uploadValues_ = UserValueBlock{};
    } else {
        myStorage_ = MyStorageJobRecord{};
        myStorageValues_ = UserValueBlock{};
    }
}

void CQuenvaraUploadControlCtrl::setPagePath(bool upload, bool folder, const std::string& value) {
    using std::filesystem::file_type;
    const auto place = places_.resolve(value);
    if (!place) {
        refusePagePath(upload);
        return;
    }
    // The record is built from the real place, never from the page's text.
    const auto saved = saveSelection();
    nameRefused_ = false;
    if (folder) {
        if (place->type != file_type::directory) {
            warn("폴더를 찾지 못했습니다.");
        } else if (upload) {
            double unused = 0;
            fillFolderItem(upload_, uploadValues_, place->real, 4, false, false, unused);
        } else {
            double unused = 0;
            fillFolderItem(myStorage_, myStorageValues_, place->real, 3, false, false, unused);
        }
    } else if (splitPath(place->real)) {
        const bool filled =
            place->type == file_type::regular &&
            (upload ? fillFileItem(upload_, uploadValues_, place->real, 4, 1, realSize_)
                    : fillFileItem(myStorage_, myStorageValues_, place->real, 3, 0,
                                   myStorageRealSize_));
        if (!filled && !nameRefused_) {
            warn("파일을 찾지 못했습니다.");
        }
    }
    if (nameRefused_) {
        nameRefused_ = false;
        restoreSelection(saved);
    }
    // What would go out is checked as it was built, whatever was stored.
    if (!(upload ? builtInsidePicks(upload_) : builtInsidePicks(myStorage_))) {
        refusePagePath(upload);
    }
}

}  // namespace quenvara::webcontrol
