#include "handover_client/job_builder.h"

#include <cstdio>

#include "platform/path_text.h"
#include "protocol/record_path.h"

namespace quenvara::tools {
namespace {

struct FolderCensus {
    int count = 0;
    double size = 0;
};

// Counts and sizes the files below a folder, depth first; stops once the
// count reaches the maximum.
Status walk(const std::filesystem::path& folder, int maxFiles, FolderCensus& census) {
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    if (ec) {
        return Status::failure(platform::utf8Text(folder) + ": " + ec.message());
    }
    for (const auto& entry : it) {
        if (census.count >= maxFiles) {
            return {};
        }
        // A linked folder is not walked (it may lead in a circle), as the
        // uploader's folder expansion does.
        if (entry.is_directory(ec) && !entry.is_symlink(ec)) {
            if (auto st = walk(entry.path(), maxFiles, census); !st) {
                return st;
            }
        } else if (entry.is_regular_file(ec)) {
            ++census.count;
            census.size += static_cast<double>(entry.file_size(ec));
        }
    }
    return {};
}

template <class Record>
Result<Record> build(const std::filesystem::path& rawPath, const PageValues& values, int maxFiles,
                     std::int32_t folderTag, std::int32_t fileTag,
                     std::int32_t singleFileUserCopy) {
    // The record names the real place (the uploader refuses a path through
    // a link, or with "." or ".." parts).
    std::error_code error;
    const auto path = std::filesystem::canonical(rawPath, error);
    const std::string pathText = platform::utf8Text(path);
    if (error) {
        return Result<Record>::failure(platform::utf8Text(rawPath) + ": " + error.message());
    }
    const auto status = std::filesystem::status(path, error);
    if (error) {
        return Result<Record>::failure(pathText + ": " + error.message());
    }
    // The record carries the platform's own path: its separator ends the
    // parent folder. Every part must be one carriable name ('\\' separates
    // too, so a name holding it would name another place).
    const std::string name = platform::utf8Text(path.filename());
    const std::string parent = platform::utf8Text(path.parent_path()) +
                               static_cast<char>(std::filesystem::path::preferred_separator);
    for (const auto& part : path.relative_path()) {
        if (!record_path::isCarriableName(platform::utf8Text(part))) {
            return Result<Record>::failure(pathText + ": '\\' 가 든 이름은 올릴 수 없습니다.");
        }
    }
    const std::filesystem::path& trimmed = path;

    Record record;
    UserValueBlock block;
    Status text;
    const auto keep = [&text](Status s) {
        if (text && !s) {
            text = s;
        }
    };
    keep(record.setParentFolder(parent));
    keep(record.setItemName(name));
    keep(block.setItemNameCopy(name));
    double size = 0;
    if (std::filesystem::is_directory(status)) {
        FolderCensus census;
        if (auto w = walk(trimmed, maxFiles, census); !w) {
            return Result<Record>::failure(w.error());
        }
        if (census.count >= maxFiles) {
            char refusal[160];
            std::snprintf(refusal, sizeof refusal,
                          "한번에 업로드 할수 있는 목록을 %d 개 이상 만들수 없습니다.", maxFiles);
            return Result<Record>::failure(refusal);
        }
        size = census.size;
        keep(record.setFolderName(name));
        record.setRecordTag(folderTag);
        record.setItemKind(ItemKind::Folder);
        block.setFolderFlag('Y');
    } else if (std::filesystem::is_regular_file(status)) {
        const auto bytes = std::filesystem::file_size(path, error);
        if (error) {
            return Result<Record>::failure(pathText + ": " + error.message());
        }
        size = static_cast<double>(bytes);
        record.setRecordTag(fileTag);
        record.setItemKind(ItemKind::SingleFile);
        record.setUserNumberCopy(singleFileUserCopy);
        block.setFolderFlag('N');
    } else {
        return Result<Record>::failure(pathText + ": neither a file nor a folder");
    }
    if (!text) {
        return Result<Record>::failure(text.error());
    }
    record.setItemSize(size);
    block.setSizeCopy(size);
    if (values.userNumber != 0) {
        record.setUserNumberCopy(values.userNumber);
        block.setUserNumber(values.userNumber);
    }
    keep(block.setRegistrantName(values.registrant));
    keep(block.setDisplayText(values.displayText.empty() ? name : values.displayText));
    if constexpr (Record::Layout::kHasMusicFields) {
        keep(block.setSectionCode(values.sectionCode));
        keep(block.setSubSectionCode(values.subSectionCode));
        keep(block.setAdultFlag(values.adultFlag));
    }
    if (!text) {
        return Result<Record>::failure(text.error());
    }
    record.setUserValues(block);
    return record;
}

}  // namespace

Result<UploadJobRecord> buildUploadJob(const std::filesystem::path& path, const PageValues& values,
                                       int maxFileCount) {
    return build<UploadJobRecord>(path, values, maxFileCount, UploadJobRecord::kRecordTagValue,
                                  UploadJobRecord::kRecordTagValue, 1);
}

Result<MyStorageJobRecord> buildMyStorageJob(const std::filesystem::path& path,
                                             const PageValues& values, int maxFileCount) {
    // A single file chosen in my-storage mode carries tag 4 all the same.
    return build<MyStorageJobRecord>(path, values, maxFileCount,
                                     MyStorageJobRecord::kRecordTagValue,
                                     UploadJobRecord::kRecordTagValue, 0);
}

}  // namespace quenvara::tools
