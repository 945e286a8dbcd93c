#pragma once

#include <array>
#include <mutex>

#include "uploader/app/list_presentation.h"

class wxListCtrl;

namespace quenvara::uploader::wxui {

// Where the report list's cells are, measured on the GUI thread at every
// refresh and read from any thread (the engine places the row's bar too).
class WxListGeometry final : public ListGeometry {
  public:
    void measure(wxListCtrl& list);
    Rect cellRect(int row, int column) const override;
    int clientBottom() const override;
    // The row whose cells span this height.
    int rowAt(int y) const;

  private:
    mutable std::mutex mutex_;
    int firstRowTop_ = 0;
    int rowHeight_ = 20;
    int clientBottom_ = 0;
    std::array<int, CFileListView::kColumnCount + 1> columnLefts_{};
};

}  // namespace quenvara::uploader::wxui
