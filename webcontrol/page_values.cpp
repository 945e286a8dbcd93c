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

handover::MusicListEntry entryOf(std::string_view record) {
    const char checked = record.size() > 0 ? record[0] : 'N';
    const char second = record.size() > 1 ? record[1] : 'N';
    const std::string_view name = record.size() > 2 ? record.substr(2) : std::string_view{};
    return handover::MusicListEntry(checked, second, cp949::fromUtf8Lossy(name));
}

}  // namespace

std::vector<handover::MusicListEntry> parseMusicListText(const std::string& text) {
    std::vector<handover::MusicListEntry> entries;
    std::string_view rest = text;
    while (!rest.empty()) {
        const auto separator = rest.rfind(kRecordSeparator);
        if (separator == std::string_view::npos) {
            entries.push_back(entryOf(rest));
            break;
        }
        entries.push_back(entryOf(rest.substr(separator + kRecordSeparator.size())));
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
    // Text values are cut at a character boundary within their field.
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
        if (value.empty() || (key == "파일경로" && !splitPath(value))) {
            return;
        }
        if (!picked(value)) {
            // Whether the path exists is not told; nothing of it is read,
            // and the job so far is dropped, so that nothing goes out.
            warn(kRefusedPathText);
            if (upload) {
                upload_ = UploadJobRecord{};
                uploadValues_ = UserValueBlock{};
            } else {
                myStorage_ = MyStorageJobRecord{};
                myStorageValues_ = UserValueBlock{};
            }
            return;
        }
        const auto saved = saveSelection();
        nameRefused_ = false;
        bool filled = false;
        if (key == "폴더경로") {
            double unused = 0;
            filled = upload ? fillFolderItem(upload_, uploadValues_, value, 4, false, false, unused)
                            : fillFolderItem(myStorage_, myStorageValues_, value, 3, false, false,
                                             unused);
        } else {
            filled = upload ? fillFileItem(upload_, uploadValues_, value, 4, 1, realSize_)
                            : fillFileItem(myStorage_, myStorageValues_, value, 3, 0,
                                           myStorageRealSize_);
            if (!filled && !nameRefused_) {
                warn("파일을 찾지 못했습니다.");
            }
        }
        if (nameRefused_) {
            nameRefused_ = false;
            restoreSelection(saved);
        }
    } else if (upload && key == "SECTCODE") {
        take(block.setSectionCode(value));
    } else if (upload && key == "SECTSUB") {
        take(block.setSubSectionCode(value));
    } else if (upload && key == "ADULT") {
        take(block.setAdultFlag(value));
    }
}

}  // namespace quenvara::webcontrol
