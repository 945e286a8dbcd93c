#include "uploader/frontend/wx/wx_list_geometry.h"

#include <wx/listctrl.h>

namespace quenvara::uploader::wxui {

void WxListGeometry::measure(wxListCtrl& list) {
    std::array<int, CFileListView::kColumnCount + 1> lefts{};
    for (int c = 0; c < CFileListView::kColumnCount && c < list.GetColumnCount(); ++c) {
        lefts[static_cast<std::size_t>(c) + 1] =
            lefts[static_cast<std::size_t>(c)] + list.GetColumnWidth(c);
    }
    wxRect first;
    const bool haveRow = list.GetItemCount() > 0 && list.GetItemRect(0, first);
    std::lock_guard lock(mutex_);
    columnLefts_ = lefts;
    clientBottom_ = list.GetClientSize().y;
    if (haveRow) {
        firstRowTop_ = first.y;
        rowHeight_ = std::max(first.height, 1);
    }
}

Rect WxListGeometry::cellRect(int row, int column) const {
    std::lock_guard lock(mutex_);
    const auto c = static_cast<std::size_t>(std::clamp(column, 0, CFileListView::kColumnCount - 1));
    const int top = firstRowTop_ + row * rowHeight_;
    return {columnLefts_[c], top, columnLefts_[c + 1], top + rowHeight_};
}

int WxListGeometry::rowAt(int y) const {
    std::lock_guard lock(mutex_);
    const int offset = y - firstRowTop_;
    return offset < 0 ? -1 : offset / rowHeight_;
}

int WxListGeometry::clientBottom() const {
    std::lock_guard lock(mutex_);
    return clientBottom_;
}

}  // namespace quenvara::uploader::wxui
