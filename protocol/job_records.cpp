#include "protocol/job_records.h"

#include <algorithm>

namespace quenvara {
namespace {

template <class Record>
std::optional<Record> copyExact(std::span<const std::uint8_t> data) {
    if (data.size() != Record::kSize) {
        return std::nullopt;
    }
    Record r;
    std::copy(data.begin(), data.end(), r.mutableBytes().begin());
    return r;
}

}  // namespace

std::optional<UploadJobRecord> UploadJobRecord::fromBytes(std::span<const std::uint8_t> data) {
    return copyExact<UploadJobRecord>(data);
}

std::optional<MyStorageJobRecord> MyStorageJobRecord::fromBytes(
    std::span<const std::uint8_t> data) {
    return copyExact<MyStorageJobRecord>(data);
}

}  // namespace quenvara
