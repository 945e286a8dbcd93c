#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <variant>

#include "platform/result.h"
#include "protocol/job_records.h"

namespace quenvara::tools {

// The page values a job carries, as the web page would set them.
struct PageValues {
    std::int32_t userNumber = 0;
    std::string registrant;
    std::string sectionCode;
    std::string subSectionCode;
    std::string adultFlag;
    std::string displayText;
};

inline constexpr int kDefaultMaxFileCount = 1000;

// Builds the job record for a local file (a single-file item) or a folder
// (a folder item with the size of every file below it), as the web-page
// control fills it. A folder with maxFileCount files or more is refused.
Result<UploadJobRecord> buildUploadJob(const std::filesystem::path& path, const PageValues& values,
                                       int maxFileCount = kDefaultMaxFileCount);
Result<MyStorageJobRecord> buildMyStorageJob(const std::filesystem::path& path,
                                             const PageValues& values,
                                             int maxFileCount = kDefaultMaxFileCount);

}  // namespace quenvara::tools
