#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/fixed_block.h"
#include "protocol/record_path.h"

// The job records that travel whole from the web-page control through the
// hand-over, the upload list and the transfer engine to the service.
namespace quenvara {

namespace layout {

struct UserValues {
    static constexpr std::size_t kSize = 6176;
    static constexpr Field kUserNumber{24, 4};
    static constexpr Field kSizeCopy{28, 8};
    static constexpr Field kSectionCode{5316, 3};
    static constexpr Field kSubSectionCode{5319, 26};
    static constexpr Field kFolderFlag{5345, 2};
    static constexpr Field kContentIdCopy{5347, 6};
    static constexpr Field kDisplayText{5353, 256};
    static constexpr Field kFolderGroupText{5609, 256};
    static constexpr Field kItemNameCopy{5865, 278};
    static constexpr Field kRegistrantName{6143, 29};
    static constexpr Field kAdultFlag{6172, 4};
};

struct Upload {
    static constexpr std::size_t kSize = 7972;
    static constexpr bool kHasMusicFields = true;
    static constexpr Field kRecordTag{0, 4};
    static constexpr Field kItemKind{4, 4};
    static constexpr Field kGroupPosition{8, 4};
    static constexpr Field kResumeState{12, 4};
    static constexpr Field kDataServerPort{16, 4};
    static constexpr Field kUserNumberCopy{20, 4};
    static constexpr Field kMusicCheckedFlag{24, 2};
    static constexpr Field kMusicListFlag{26, 2};
    static constexpr Field kContentId{28, 10};
    static constexpr Field kDataServerAddress{38, 16};
    static constexpr Field kFolderName{54, 256};
    static constexpr Field kItemName{310, 256};
    static constexpr Field kParentFolder{566, 512};
    static constexpr Field kServerFolderPath{1078, 512};
    static constexpr Field kFileDigest{1590, 38};
    static constexpr Field kContentKey{1628, 160};
    static constexpr Field kItemSize{1788, 8};
    static constexpr Field kUserValues{1796, UserValues::kSize};
};

// The my-storage record drops the two flags, the digest and the content key.
struct MyStorage {
    static constexpr std::size_t kSize = 7772;
    static constexpr bool kHasMusicFields = false;
    static constexpr Field kRecordTag{0, 4};
    static constexpr Field kItemKind{4, 4};
    static constexpr Field kGroupPosition{8, 4};
    static constexpr Field kResumeState{12, 4};
    static constexpr Field kDataServerPort{16, 4};
    static constexpr Field kUserNumberCopy{20, 4};
    static constexpr Field kContentId{26, 10};
    static constexpr Field kDataServerAddress{36, 16};
    static constexpr Field kFolderName{52, 256};
    static constexpr Field kItemName{308, 256};
    static constexpr Field kParentFolder{564, 512};
    static constexpr Field kServerFolderPath{1076, 512};
    static constexpr Field kItemSize{1588, 8};
    static constexpr Field kUserValues{1596, UserValues::kSize};
};

// The service and the control rely on these relations between the variants.
static_assert(MyStorage::kContentId.offset == Upload::kContentId.offset - 2);
static_assert(MyStorage::kDataServerAddress.offset == Upload::kDataServerAddress.offset - 2);
static_assert(MyStorage::kFolderName.offset == Upload::kFolderName.offset - 2);
static_assert(MyStorage::kItemName.offset == Upload::kItemName.offset - 2);
static_assert(MyStorage::kParentFolder.offset == Upload::kParentFolder.offset - 2);
static_assert(MyStorage::kServerFolderPath.offset == Upload::kServerFolderPath.offset - 2);
static_assert(MyStorage::kItemSize.offset == Upload::kItemSize.offset - 200);
static_assert(MyStorage::kUserValues.offset == Upload::kUserValues.offset - 200);
static_assert(Upload::kUserValues.end() == Upload::kSize);
static_assert(MyStorage::kUserValues.end() == MyStorage::kSize);
static_assert(UserValues::kAdultFlag.end() == UserValues::kSize);
// Consecutive fields touch without overlapping.
static_assert(Upload::kMusicCheckedFlag.end() == Upload::kMusicListFlag.offset &&
              Upload::kMusicListFlag.end() == Upload::kContentId.offset &&
              Upload::kContentId.end() == Upload::kDataServerAddress.offset &&
              Upload::kDataServerAddress.end() == Upload::kFolderName.offset &&
              Upload::kFolderName.end() == Upload::kItemName.offset &&
              Upload::kItemName.end() == Upload::kParentFolder.offset &&
              Upload::kParentFolder.end() == Upload::kServerFolderPath.offset &&
              Upload::kServerFolderPath.end() == Upload::kFileDigest.offset &&
              Upload::kFileDigest.end() == Upload::kContentKey.offset &&
              Upload::kContentKey.end() == Upload::kItemSize.offset &&
              Upload::kItemSize.end() == Upload::kUserValues.offset);
static_assert(UserValues::kSectionCode.end() == UserValues::kSubSectionCode.offset &&
              UserValues::kSubSectionCode.end() == UserValues::kFolderFlag.offset &&
              UserValues::kFolderFlag.end() == UserValues::kContentIdCopy.offset &&
              UserValues::kContentIdCopy.end() == UserValues::kDisplayText.offset &&
              UserValues::kDisplayText.end() == UserValues::kFolderGroupText.offset &&
              UserValues::kFolderGroupText.end() == UserValues::kItemNameCopy.offset &&
              UserValues::kItemNameCopy.end() == UserValues::kRegistrantName.offset &&
              UserValues::kRegistrantName.end() == UserValues::kAdultFlag.offset);

}  // namespace layout

// Text accessors come in four: UTF-8 get/set (set refuses what CP949 cannot
// express) and the raw CP949 bytes get/set used by the wire code.
#define QUENVARA_TEXT_FIELD(getter, Setter, field)                       \
    std::string getter() const {                                         \
        return this->textAt(field);                                      \
    }                                                                    \
    std::string getter##Bytes() const {                                  \
        return this->rawTextAt(field);                                   \
    }                                                                    \
    [[nodiscard]] Status set##Setter(std::string_view utf8) {            \
        return this->setTextAt(field, utf8);                             \
    }                                                                    \
    [[nodiscard]] bool set##Setter##Bytes(std::string_view cp949Bytes) { \
        return this->setRawTextAt(field, cp949Bytes);                    \
    }

class UserValueBlock : public FixedBlock<layout::UserValues::kSize> {
    using L = layout::UserValues;

  public:
    UserValueBlock() = default;
    explicit UserValueBlock(const FixedBlock<L::kSize>& raw) : FixedBlock(raw) {}

    std::int32_t userNumber() const { return int32At(L::kUserNumber); }
    void setUserNumber(std::int32_t v) { setInt32At(L::kUserNumber, v); }
    double sizeCopy() const { return doubleAt(L::kSizeCopy); }
    void setSizeCopy(double v) { setDoubleAt(L::kSizeCopy, v); }
    char folderFlag() const { return flagAt(L::kFolderFlag); }
    void setFolderFlag(char v) { setFlagAt(L::kFolderFlag, v); }

    QUENVARA_TEXT_FIELD(sectionCode, SectionCode, L::kSectionCode)
    QUENVARA_TEXT_FIELD(subSectionCode, SubSectionCode, L::kSubSectionCode)
    QUENVARA_TEXT_FIELD(contentIdCopy, ContentIdCopy, L::kContentIdCopy)
    QUENVARA_TEXT_FIELD(displayText, DisplayText, L::kDisplayText)
    QUENVARA_TEXT_FIELD(folderGroupText, FolderGroupText, L::kFolderGroupText)
    QUENVARA_TEXT_FIELD(itemNameCopy, ItemNameCopy, L::kItemNameCopy)
    QUENVARA_TEXT_FIELD(registrantName, RegistrantName, L::kRegistrantName)
    QUENVARA_TEXT_FIELD(adultFlag, AdultFlag, L::kAdultFlag)
};

enum class ItemKind : std::int32_t { Folder = 1, SingleFile = 2 };

template <class L>
class JobRecord : public FixedBlock<L::kSize> {
  public:
    using Layout = L;

    std::int32_t recordTag() const { return this->int32At(L::kRecordTag); }
    void setRecordTag(std::int32_t v) { this->setInt32At(L::kRecordTag, v); }
    std::int32_t itemKind() const { return this->int32At(L::kItemKind); }
    void setItemKind(ItemKind v) { this->setInt32At(L::kItemKind, static_cast<std::int32_t>(v)); }
    std::int32_t groupPosition() const { return this->int32At(L::kGroupPosition); }
    void setGroupPosition(std::int32_t v) { this->setInt32At(L::kGroupPosition, v); }
    std::int32_t resumeState() const { return this->int32At(L::kResumeState); }
    void setResumeState(std::int32_t v) { this->setInt32At(L::kResumeState, v); }
    std::int32_t dataServerPort() const { return this->int32At(L::kDataServerPort); }
    void setDataServerPort(std::int32_t v) { this->setInt32At(L::kDataServerPort, v); }
    std::int32_t userNumberCopy() const { return this->int32At(L::kUserNumberCopy); }
    void setUserNumberCopy(std::int32_t v) { this->setInt32At(L::kUserNumberCopy, v); }
    double itemSize() const { return this->doubleAt(L::kItemSize); }
    void setItemSize(double v) { this->setDoubleAt(L::kItemSize, v); }

    QUENVARA_TEXT_FIELD(contentId, ContentId, L::kContentId)
    QUENVARA_TEXT_FIELD(dataServerAddress, DataServerAddress, L::kDataServerAddress)
    QUENVARA_TEXT_FIELD(folderName, FolderName, L::kFolderName)
    QUENVARA_TEXT_FIELD(itemName, ItemName, L::kItemName)
    QUENVARA_TEXT_FIELD(parentFolder, ParentFolder, L::kParentFolder)
    QUENVARA_TEXT_FIELD(serverFolderPath, ServerFolderPath, L::kServerFolderPath)

    char musicCheckedFlag() const requires L::kHasMusicFields {
        return this->flagAt(L::kMusicCheckedFlag);
    }
    void setMusicCheckedFlag(char v) requires L::kHasMusicFields {
        this->setFlagAt(L::kMusicCheckedFlag, v);
    }
    char musicListFlag() const requires L::kHasMusicFields {
        return this->flagAt(L::kMusicListFlag);
    }
    void setMusicListFlag(char v) requires L::kHasMusicFields {
        this->setFlagAt(L::kMusicListFlag, v);
    }
    std::string fileDigest() const requires L::kHasMusicFields {
        return this->rawTextAt(L::kFileDigest);
    }
    [[nodiscard]] bool setFileDigest(std::string_view hex) requires L::kHasMusicFields {
        return this->setRawTextAt(L::kFileDigest, hex);
    }
    std::string contentKey() const requires L::kHasMusicFields {
        return this->rawTextAt(L::kContentKey);
    }
    [[nodiscard]] bool setContentKey(std::string_view key) requires L::kHasMusicFields {
        return this->setRawTextAt(L::kContentKey, key);
    }

    UserValueBlock userValues() const {
        return UserValueBlock(this->template blockAt<layout::UserValues::kSize>(L::kUserValues));
    }
    void setUserValues(const UserValueBlock& block) { this->setBlockAt(L::kUserValues, block); }

    // Full local path: parent folder plus item name, read by the records'
    // separator rule (record_path.h).
    std::string localPath() const;
    // A folder item's own folder: parent folder plus folder name, the same way.
    std::string folderPath() const;
};

#undef QUENVARA_TEXT_FIELD

template <class L>
std::string JobRecord<L>::localPath() const {
    return record_path::join(parentFolder(), itemName());
}

template <class L>
std::string JobRecord<L>::folderPath() const {
    return record_path::join(parentFolder(), folderName());
}

class UploadJobRecord : public JobRecord<layout::Upload> {
  public:
    static constexpr std::int32_t kRecordTagValue = 4;
    UploadJobRecord() = default;
    static std::optional<UploadJobRecord> fromBytes(std::span<const std::uint8_t> data);
};

class MyStorageJobRecord : public JobRecord<layout::MyStorage> {
  public:
    static constexpr std::int32_t kRecordTagValue = 3;
    MyStorageJobRecord() = default;
    static std::optional<MyStorageJobRecord> fromBytes(std::span<const std::uint8_t> data);
};

static_assert(sizeof(UploadJobRecord) == 7972);
static_assert(sizeof(MyStorageJobRecord) == 7772);
static_assert(sizeof(UserValueBlock) == 6176);

}  // namespace quenvara
