#include "uploader/app/list_presentation.h"

namespace quenvara::uploader {

Rect StackedListGeometry::cellRect(int row, int column) const {
    const auto widths = list_presentation::columnWidths(clientWidth_, true);
    int left = 0;
    for (int c = 0; c < column; ++c) {
        left += widths[static_cast<std::size_t>(c)];
    }
    const int top = kHeaderHeight + row * kRowHeight;
    return {left, top, left + widths[static_cast<std::size_t>(column)], top + kRowHeight};
}

namespace list_presentation {

std::array<int, CFileListView::kColumnCount> columnWidths(int clientWidth, bool atCreation) {
    const int q = clientWidth / 5;
    if (atCreation) {
        return {q + 20, q - 15, q - 15, 0, q + 20, 0, 2 * q - 40, 0};
    }
    return {q + 10, q - 30, q - 30, 0, q + 10, 0, q + 40, 0};
}

std::optional<Rgb> rowTextColour(const CFileListView& list, int row) {
    if (list.state(row) == RowState::Done) {
        return kDoneRowColour;
    }
    return std::nullopt;
}

std::string statusLineForSelection(const CFileListView& list,
                                   const std::vector<int>& selectedRows) {
    if (selectedRows.size() != 1) {
        return "";
    }
    const auto text = list.text(selectedRows[0], CFileListView::kStatusText);
    return text.empty() ? std::string(kWaitingStatusText) : text;
}

}  // namespace list_presentation

void ProgressBarPlacement::place(CFileListView& list, int row, bool windowActive,
                                 const ListGeometry& geometry) {
    auto guard = list.lock();
    std::lock_guard lock(mutex_);
    if (!windowActive || list.rowCount() == 0) {
        list.setProgressBarVisible(false);
        return;
    }
    if (row < 0 || row >= list.rowCount() || list.state(row) == RowState::Done) {
        return;
    }
    const Rect cell = geometry.cellRect(row, CFileListView::kState);
    const Rect inner{cell.left + 5, cell.top + 2, cell.right - 5, cell.bottom - 2};
    if (inner == remembered_) {
        return;
    }
    list.setProgressBarVisible(false);
    remembered_ = inner;
    if (cell.top <= 17 || cell.bottom >= geometry.clientBottom()) {
        return;
    }
    rect_ = inner;
    list.setProgressBarVisible(true);
}

Rect ProgressBarPlacement::rect() const {
    std::lock_guard lock(mutex_);
    return rect_;
}

}  // namespace quenvara::uploader
