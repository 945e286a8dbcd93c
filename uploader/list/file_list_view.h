#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "protocol/job_records.h"
#include "uploader/list/job_state.h"

namespace quenvara::uploader {

using JobRecordVariant = std::variant<UploadJobRecord, MyStorageJobRecord>;

// Where a row's file came from: the folder the job named, which the file
// must still lie in (empty for a single file, which is its own root), and
// the file's modification time when it was listed (nanoseconds since the
// epoch; 0 when unknown).
struct RowOrigin {
    std::string root;
    std::int64_t modified = 0;
};

// The in-row progress bar that rides on the current row's status cell.
struct RowProgressBar {
    bool visible = false;
    double upper = 100;
    double position = 0;
    std::string text = "0 %";
    bool showText = true;
};

// The upload list: one row per job, each owning a copy of its record. The
// window and the transfer thread share it; every operation takes the list's
// lock, and lock() holds it across a compound change.
class CFileListView {
  public:
    enum Column : int {
        kName = 0,
        kKind = 1,
        kSize = 2,
        kDisk = 3,
        kState = 4,
        kStatusText = 5,
        kLocation = 6,
        kJobState = 7,
    };
    static constexpr int kColumnCount = 8;
    static constexpr std::string_view kUploadDisk = "File Disk";
    static constexpr std::string_view kMyStorageDisk = "MyFile Disk";

    std::unique_lock<std::recursive_mutex> lock() const { return std::unique_lock(mutex_); }

    // Appends a row for the record and returns its index; folder items named
    // "." or ".." get no row. `job` is the handed-over item the row came
    // from (newJob()); 0 gives the row a job of its own.
    std::optional<int> addUploadRecord(const UploadJobRecord& record, std::uint64_t job = 0,
                                       RowOrigin origin = {});
    std::optional<int> addMyStorageRecord(const MyStorageJobRecord& record, std::uint64_t job = 0,
                                          RowOrigin origin = {});
    // A row for a file that cannot be sent: it reads "오류" with the reason,
    // and no run ever takes it. `kind` is 4 or 3.
    int addRefusedRow(int kind, const std::string& name, const std::string& location, double size,
                      std::string_view reason);
    // The row's file cannot be sent after all: as addRefusedRow.
    void refuse(int row, std::string_view reason);
    // The row is one addRefusedRow or refuse made.
    bool refused(int row) const;
    // Where the row's file came from; empty for a row out of range.
    RowOrigin rowOrigin(int row) const;
    // Rows that could not be sent because they are refused.
    int refusedCount() const;
    // A new job identity: the files of one folder item share it, and only
    // rows of one job form a folder group.
    std::uint64_t newJob();
    // The job of a row; 0 for an index out of range.
    std::uint64_t rowJob(int row) const;

    int rowCount() const;
    // 4 for "File Disk", 3 for "MyFile Disk", -1 otherwise or out of range.
    int rowKind(int row) const;
    // A row's identity for as long as it is in the list (never reused);
    // 0 for an index out of range. rowOfId gives -1 for a row that is gone.
    std::uint64_t rowId(int row) const;
    int rowOfId(std::uint64_t id) const;
    // Removes the row and its record (the record only for kinds 3 and 4).
    void deleteRow(int row, int kind);
    void clear();

    std::string text(int row, int column) const;
    void setText(int row, int column, std::string text);
    // The state text shown (the code, or a failed row's own text).
    std::string jobState(int row) const { return text(row, kJobState); }
    RowState state(int row) const;
    // The engine's state change: the state, and its text in the hidden
    // column and its copy in the visible one. A failed row shows
    // `failureText` ("오류" when none is given).
    void setState(int row, RowState state, std::string_view failureText = {});
    // The same from a state text: the four codes, or a failure text.
    void setJobState(int row, std::string_view state);

    JobRecordVariant record(int row) const;
    void setRecord(int row, const JobRecordVariant& record);
    double itemSize(int row) const;

    int currentRow() const;
    void setCurrentRow(int row);
    bool busy() const;
    void setBusy(bool busy);

    // Every row "완료" (compared without regard to case); an empty list too.
    bool allDone() const;
    // Every row done, or refused because its file cannot be sent.
    bool allDoneOrRefused() const;
    // Sum of the item sizes of the rows that are not "완료".
    double unfinishedBytes() const;

    // The head of the list that the delete command removes: rows n … 0
    // (none when n < 0), and u, the first unfinished row.
    struct DeleteBoundary {
        int n = -1;
        int u = 0;
    };
    DeleteBoundary deletionBoundary() const;

    // The in-row progress bar's values; where it goes is the window's.
    void setProgressBarVisible(bool visible);
    void hideProgressBar();
    RowProgressBar progressBar() const;
    void setProgressBar(double upper, double position, std::string text);

    // Grows with every change, so a front-end knows when to redraw.
    std::uint64_t revision() const;

  private:
    struct Row {
        std::array<std::string, kColumnCount> columns;
        JobRecordVariant record;
        std::uint64_t id = 0;
        std::uint64_t job = 0;
        RowState state = RowState::Waiting;
        RowOrigin origin;
        bool refused = false;
    };
    template <class Record>
    std::optional<int> add(const Record& record, std::string_view disk, std::uint64_t job,
                           RowOrigin origin);
    const Row& at(int row) const;
    Row& at(int row);

    mutable std::recursive_mutex mutex_;
    std::vector<Row> rows_;
    int currentRow_ = 0;
    bool busy_ = false;
    RowProgressBar bar_;
    std::uint64_t revision_ = 0;
    std::uint64_t nextRowId_ = 1;
    std::uint64_t nextJob_ = 1;
};

}  // namespace quenvara::uploader
