#pragma once

#include <array>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "uploader/list/file_list_view.h"

// How the upload list is shown: headings, column widths, row colours, the
// status line of a row click, and where the in-row progress bar goes. The
// engine's list knows none of this.
namespace quenvara::uploader {

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct Rgb {
    int r, g, b;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// Where the list's cells are on screen; the GUI asks its list control, the
// headless front-end lays the rows out one under the other.
class ListGeometry {
  public:
    virtual ~ListGeometry() = default;
    virtual Rect cellRect(int row, int column) const = 0;
    virtual int clientBottom() const = 0;
};

// Rows one under the other below a header, every row visible.
class StackedListGeometry final : public ListGeometry {
  public:
    static constexpr int kHeaderHeight = 20;
    static constexpr int kRowHeight = 17;
    explicit StackedListGeometry(int clientWidth) : clientWidth_(clientWidth) {}
    Rect cellRect(int row, int column) const override;
    int clientBottom() const override { return 1 << 30; }

  private:
    int clientWidth_;
};

namespace list_presentation {

inline constexpr std::array<std::string_view, CFileListView::kColumnCount> kHeadings = {
    "파일이름", "종류", "크기", "디스크구분", "상태", "상세설명", "파일위치", "상태"};
inline constexpr Rgb kDoneRowColour{74, 84, 184};

// Column widths for client width w: at creation, and after a resize.
std::array<int, CFileListView::kColumnCount> columnWidths(int clientWidth, bool atCreation);
// Done rows are drawn in their own colour.
std::optional<Rgb> rowTextColour(const CFileListView& list, int row);
// The status line after a click: the selected row's details.
std::string statusLineForSelection(const CFileListView& list, const std::vector<int>& selectedRows);

}  // namespace list_presentation

// The in-row progress bar rides on the state cell of the current row; its
// values (range, position, text) are the list's, its place is kept here.
class ProgressBarPlacement {
  public:
    // From the window's thread and the engine's: takes the list's lock.
    void place(CFileListView& list, int row, bool windowActive, const ListGeometry& geometry);
    Rect rect() const;

  private:
    mutable std::mutex mutex_;
    Rect rect_;
    Rect remembered_;
};

}  // namespace quenvara::uploader
