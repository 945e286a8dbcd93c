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

// Turns a folder item into one job record per file below it, depth first
// in the order the file system lists entries. Refuses a folder with 1000
// files or more. The records carry the template's values and form one
// folder group; kind 4 records get their file digest.
class FolderExpansion {
  public:
    using Digest = std::function<Result<std::string>(const std::filesystem::path&)>;
    // Told about a file whose digest could not be made (the record is kept).
    using Report = std::function<void(const std::string&)>;

    FolderExpansion(Digest digest, Report report)
        : digest_(std::move(digest)), report_(std::move(report)) {}

    template <class Record>
    struct Outcome {
        bool refused = false;
        std::vector<Record> records;
    };

    Outcome<UploadJobRecord> expand(const UploadJobRecord& folderItem);
    Outcome<MyStorageJobRecord> expand(const MyStorageJobRecord& folderItem);

    // The folder item's own folder: parent + name, doubled separators
    // collapsed.
    template <class Record>
    static std::string folderPath(const Record& folderItem);

  private:
    template <class Record>
    Outcome<Record> run(const Record& folderItem);
    template <class Record>
    void walk(const std::filesystem::path& folder, const std::string& base, const Record& tmpl,
              int& counter, std::vector<Record>& out);

    Digest digest_;
    Report report_;
};

}  // namespace quenvara::uploader
