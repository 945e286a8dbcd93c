#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "platform/result.h"
#include "protocol/job_records.h"

namespace quenvara::uploader {

inline constexpr int kFolderFileLimit = 1000;
inline constexpr std::string_view kTooManyFilesText =
    "한번에 업로드 할수 있는 목록을 1000개 이상 만들수 없습니다.";

// Turns a folder item into one job record per file below it, depth first,
// entries in name order. Refuses a folder with 1000 files or more. The
// records carry the template's values and form one folder group; kind 4
// records get their file digest. The walk never leaves the folder's real
// place: linked folders are not walked, and a link to a file is kept only
// when the file lies inside the folder.
class FolderExpansion {
  public:
    // The digest of a file, opened only inside the folder (the root).
    using Digest = std::function<Result<std::string>(const std::filesystem::path& file,
                                                     const std::filesystem::path& root)>;
    // Told about a file whose digest could not be made (the record is kept),
    // a folder that could not be read, and, in one text, the entries that
    // are no files (FIFOs, sockets, devices).
    using Report = std::function<void(const std::string&)>;

    FolderExpansion(Digest digest, Report report)
        : digest_(std::move(digest)), report_(std::move(report)) {}

    // A file below the folder that cannot be sent, and why.
    struct LeftOut {
        std::string name;
        std::string location;  // its folder, ending in '/'
        double size = 0;
        std::string reason;
    };

    template <class Record>
    struct Outcome {
        bool refused = false;  // 1000 files or more
        // Why the folder item itself cannot be sent; nothing else is set.
        std::string failure;
        std::vector<Record> records;
        // Each record's file's modification time as the walk saw it.
        std::vector<std::int64_t> modified;
        std::vector<LeftOut> leftOut;
    };

    Outcome<UploadJobRecord> expand(const UploadJobRecord& folderItem);
    Outcome<MyStorageJobRecord> expand(const MyStorageJobRecord& folderItem);

    // The folder item's own folder: parent + name, by the records'
    // separator rule.
    template <class Record>
    static std::string folderPath(const Record& folderItem) {
        return folderItem.folderPath();
    }

  private:
    template <class Record>
    struct Walk;
    template <class Record>
    Outcome<Record> run(const Record& folderItem);
    template <class Record>
    void walk(const std::string& folder, Walk<Record>& w);
    template <class Record>
    void addFile(const std::string& folder, const std::string& name, Walk<Record>& w);

    Digest digest_;
    Report report_;
};

}  // namespace quenvara::uploader
