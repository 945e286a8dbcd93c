#include "uploader/list/file_list_view.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "common/size_text.h"
#include "uploader/list/file_type_description.h"
#include "uploader/list/job_state.h"

namespace quenvara::uploader {
namespace {

double sizeOf(const JobRecordVariant& r) {
    return std::visit([](const auto& rec) { return rec.itemSize(); }, r);
}

}  // namespace

template <class Record>
std::optional<int> CFileListView::add(const Record& record, std::string_view disk,
                                      std::uint64_t job, RowOrigin origin) {
    const std::string name = record.itemName();
    const bool folder = record.itemKind() == static_cast<std::int32_t>(ItemKind::Folder);
    if (folder && (name == "." || name == "..")) {
        return std::nullopt;
    }
    auto guard = lock();
    Row row;
    row.record = record;
    row.id = nextRowId_++;
    row.job = job != 0 ? job : nextJob_++;
    row.columns[kName] = name;
    row.columns[kKind] = folder ? sizeText(record.itemSize()) : FileTypeDescription(name);
    row.columns[kSize] = sizeText(record.itemSize());
    row.columns[kDisk] = std::string(disk);
    row.columns[kState] = std::string(job_state::kWaiting);
    row.columns[kStatusText] = std::string(kWaitingStatusText);
    row.columns[kLocation] = record.parentFolder();
    row.columns[kJobState] = std::string(job_state::kWaiting);
    row.origin = std::move(origin);
    rows_.push_back(std::move(row));
    ++revision_;
    return static_cast<int>(rows_.size()) - 1;
}

std::optional<int> CFileListView::addUploadRecord(const UploadJobRecord& record, std::uint64_t job,
                                                  RowOrigin origin) {
    return add(record, kUploadDisk, job, std::move(origin));
}

std::optional<int> CFileListView::addMyStorageRecord(const MyStorageJobRecord& record,
                                                     std::uint64_t job, RowOrigin origin) {
    return add(record, kMyStorageDisk, job, std::move(origin));
}

int CFileListView::addRefusedRow(int kind, const std::string& name, const std::string& location,
                                 double size, std::string_view reason) {
    auto guard = lock();
    Row row;
    if (kind == 3) {
        row.record = MyStorageJobRecord{};
    }
    row.id = nextRowId_++;
    row.job = nextJob_++;
    row.refused = true;
    row.state = RowState::Failed;
    row.columns[kName] = name;
    row.columns[kKind] = FileTypeDescription(name);
    row.columns[kSize] = sizeText(size);
    row.columns[kDisk] = std::string(kind == 3 ? kMyStorageDisk : kUploadDisk);
    row.columns[kState] = std::string(stateCode(RowState::Failed));
    row.columns[kStatusText] = std::string(reason);
    row.columns[kLocation] = location;
    row.columns[kJobState] = std::string(stateCode(RowState::Failed));
    rows_.push_back(std::move(row));
    ++revision_;
    return static_cast<int>(rows_.size()) - 1;
}

void CFileListView::refuse(int row, std::string_view reason) {
    auto guard = lock();
    auto& r = at(row);
    r.refused = true;
    setState(row, RowState::Failed);
    r.columns[kStatusText] = std::string(reason);
}

bool CFileListView::refused(int row) const {
    auto guard = lock();
    return row >= 0 && row < static_cast<int>(rows_.size()) &&
           rows_[static_cast<std::size_t>(row)].refused;
}

RowOrigin CFileListView::rowOrigin(int row) const {
    auto guard = lock();
    if (row < 0 || row >= static_cast<int>(rows_.size())) {
        return {};
    }
    return rows_[static_cast<std::size_t>(row)].origin;
}

int CFileListView::refusedCount() const {
    auto guard = lock();
    return static_cast<int>(
        std::count_if(rows_.begin(), rows_.end(), [](const Row& r) { return r.refused; }));
}

std::uint64_t CFileListView::newJob() {
    auto guard = lock();
    return nextJob_++;
}

std::uint64_t CFileListView::rowJob(int row) const {
    auto guard = lock();
    if (row < 0 || row >= static_cast<int>(rows_.size())) {
        return 0;
    }
    return rows_[static_cast<std::size_t>(row)].job;
}

const CFileListView::Row& CFileListView::at(int row) const {
    if (row < 0 || row >= static_cast<int>(rows_.size())) {
        throw std::out_of_range("list row " + std::to_string(row));
    }
    return rows_[static_cast<std::size_t>(row)];
}

CFileListView::Row& CFileListView::at(int row) {
    return const_cast<Row&>(static_cast<const CFileListView&>(*this).at(row));
}

int CFileListView::rowCount() const {
    auto guard = lock();
    return static_cast<int>(rows_.size());
}

int CFileListView::rowKind(int row) const {
    auto guard = lock();
    if (row < 0 || row >= static_cast<int>(rows_.size())) {
        return -1;
    }
    // The kind is the record's, not the text shown for it.
    return std::holds_alternative<UploadJobRecord>(rows_[static_cast<std::size_t>(row)].record) ? 4
                                                                                                : 3;
}

std::uint64_t CFileListView::rowId(int row) const {
    auto guard = lock();
    if (row < 0 || row >= static_cast<int>(rows_.size())) {
        return 0;
    }
    return rows_[static_cast<std::size_t>(row)].id;
}

int CFileListView::rowOfId(std::uint64_t id) const {
    auto guard = lock();
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].id == id) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void CFileListView::deleteRow(int row, int) {
    // The row owns its record: both go together whatever the kind.
    auto guard = lock();
    at(row);
    rows_.erase(rows_.begin() + row);
    ++revision_;
}

void CFileListView::clear() {
    auto guard = lock();
    rows_.clear();
    currentRow_ = 0;
    ++revision_;
}

std::string CFileListView::text(int row, int column) const {
    auto guard = lock();
    return at(row).columns.at(static_cast<std::size_t>(column));
}

void CFileListView::setText(int row, int column, std::string text) {
    auto guard = lock();
    at(row).columns.at(static_cast<std::size_t>(column)) = std::move(text);
    ++revision_;
}

RowState CFileListView::state(int row) const {
    auto guard = lock();
    return at(row).state;
}

void CFileListView::setState(int row, RowState state, std::string_view failureText) {
    auto guard = lock();
    auto& r = at(row);
    const std::string_view text =
        state == RowState::Failed && !failureText.empty() ? failureText : stateCode(state);
    r.state = state;
    r.columns[kJobState] = std::string(text);
    r.columns[kState] = std::string(text);
    ++revision_;
}

void CFileListView::setJobState(int row, std::string_view state) {
    setState(row, rowStateOf(state), state);
}

JobRecordVariant CFileListView::record(int row) const {
    auto guard = lock();
    return at(row).record;
}

void CFileListView::setRecord(int row, const JobRecordVariant& record) {
    auto guard = lock();
    at(row).record = record;
    ++revision_;
}

double CFileListView::itemSize(int row) const {
    auto guard = lock();
    return sizeOf(at(row).record);
}

int CFileListView::currentRow() const {
    auto guard = lock();
    return currentRow_;
}

void CFileListView::setCurrentRow(int row) {
    auto guard = lock();
    currentRow_ = row;
    ++revision_;
}

bool CFileListView::busy() const {
    auto guard = lock();
    return busy_;
}

void CFileListView::setBusy(bool busy) {
    auto guard = lock();
    busy_ = busy;
}

bool CFileListView::allDone() const {
    auto guard = lock();
    return std::all_of(rows_.begin(), rows_.end(),
                       [](const Row& r) { return r.state == RowState::Done; });
}

bool CFileListView::allDoneOrRefused() const {
    auto guard = lock();
    return std::all_of(rows_.begin(), rows_.end(),
                       [](const Row& r) { return r.refused || r.state == RowState::Done; });
}

double CFileListView::unfinishedBytes() const {
    auto guard = lock();
    double total = 0;
    for (const auto& r : rows_) {
        if (r.state != RowState::Done) {
            total += sizeOf(r.record);
        }
    }
    return total;
}

CFileListView::DeleteBoundary CFileListView::deletionBoundary() const {
    auto guard = lock();
    DeleteBoundary b;
    const int count = static_cast<int>(rows_.size());
    if (count == 1) {
        if (!isUnfinished(rows_[0].state)) {
            b.n = 0;
        }
        return b;
    }
    for (int i = 0; i < count; ++i) {
        const auto& row = rows_[static_cast<std::size_t>(i)];
        if (isUnfinished(row.state)) {
            b.u = i;
            break;
        }
        if (i == count - 1) {
            b.n = b.u = i;
            break;
        }
        const auto& next = rows_[static_cast<std::size_t>(i + 1)];
        const auto groupOf = [](const Row& r) {
            return std::visit(
                [](const auto& rec) {
                    const auto values = rec.userValues();
                    return std::pair(values.folderGroupTextBytes(), values.userNumber());
                },
                r.record);
        };
        if (groupOf(row) != groupOf(next)) {
            b.n = i;
        }
    }
    return b;
}

void CFileListView::setProgressBarVisible(bool visible) {
    auto guard = lock();
    if (bar_.visible != visible) {
        bar_.visible = visible;
        ++revision_;
    }
}

void CFileListView::hideProgressBar() {
    auto guard = lock();
    bar_.visible = false;
    ++revision_;
}

RowProgressBar CFileListView::progressBar() const {
    auto guard = lock();
    return bar_;
}

void CFileListView::setProgressBar(double upper, double position, std::string text) {
    auto guard = lock();
    bar_.upper = upper;
    bar_.position = position;
    bar_.text = std::move(text);
    ++revision_;
}

std::uint64_t CFileListView::revision() const {
    auto guard = lock();
    return revision_;
}

}  // namespace quenvara::uploader
