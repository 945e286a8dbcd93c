// The progress displays of a file's data phase, drawn from the engine's
// events: the file bar, the overall bar, the row's bar and size text, the
// count display's size part.
#include <algorithm>

#include "uploader/app/upload_main_window.h"
#include "uploader/transfer/progress_texts.h"

namespace quenvara::uploader {

void UploadMainWindow::fileStarted(const FileStart& file) {
    auto& view = display();
    const bool kind4 = file.uploadKind;
    const double size = file.size;
    const double offset = file.serverOffset;
    sending_ = SendingFile{size, offset, 0, kind4, 0};
    view.setText(Display::PathBox, file.path);
    placeProgressBar(list_.currentRow());
    view.setShowText(Display::FileBar, true);
    view.setRange(Display::FileBar, size / 1024);
    view.setText(Display::CurrentFile, file.name);
    setCurrentFile(size, offset);
    addDoneBytes(file.doneChange);
    if (offset != 0) {
        view.setPosition(Display::FileBar, offset / 1024 + 1);
        view.setText(Display::FileBar, transfer::fileBarText(offset, size, kind4));
        list_.setProgressBar(size / 1024, offset / 1024 + 1,
                             transfer::rowPercentText(offset, size));
    } else {
        view.setPosition(Display::FileBar, 0);
        view.setText(Display::FileBar, transfer::fileBarText(0, size, kind4));
        list_.setProgressBar(size / 1024, 0, transfer::rowPercentText(0, size));
    }
    const double total = totalBytes();
    const double done = doneBytes();
    view.setRange(Display::OverallBar, total / 1024);
    view.setPosition(Display::OverallBar, done / 1024);
    view.setText(Display::OverallBar, transfer::overallPercentText(done, total));
    setSizeSummary(transfer::sizeSummaryText(done, total, kind4, false));
    if (!timersRunning()) {
        startTimers();
    }
}

void UploadMainWindow::bytesSent(std::uint64_t rowId, double bytes) {
    addDoneBytes(bytes);
    addBytesSent(bytes);
    sending_.sent += bytes;
    const double size = sending_.size;
    const double done = sending_.serverOffset + sending_.sent;
    // The counters take every chunk; the texts and bars are drawn again
    // after a thousandth of the file (at least 64 KiB) and at its end, so
    // that drawing never slows a fast link.
    const double step = std::max(65'536.0, size / 1000);
    if (done < size && sending_.sent - sending_.drawnAt < step) {
        return;
    }
    sending_.drawnAt = sending_.sent;
    auto& view = display();
    view.setRange(Display::OverallBar, totalBytes() / 1024);
    const bool kind4 = sending_.uploadKind;
    const auto barText = transfer::fileBarText(done, size, kind4);
    list_.setProgressBar(size / 1024, done / 1024 + 1, transfer::rowPercentText(done, size));
    view.setPosition(Display::FileBar, done / 1024 + 1);
    view.setText(Display::FileBar, barText);
    {
        auto guard = list_.lock();
        const int row = list_.rowOfId(rowId);
        if (row >= 0 && list_.text(row, CFileListView::kSize) != barText) {
            list_.setText(row, CFileListView::kSize, barText);
        }
    }
    setCurrentFileDone(done);
    const double total = totalBytes();
    const double runDone = doneBytes();
    view.setText(Display::OverallBar, transfer::overallPercentText(runDone, total));
    view.setPosition(Display::OverallBar, runDone / 1024);
    setSizeSummary(transfer::sizeSummaryText(runDone, total, kind4, true));
}

void UploadMainWindow::fileStopped(std::uint64_t) {
    auto& view = display();
    view.setText(Display::RemainingTime, "00:00:00");
    view.setText(Display::Speed, "0 KBps");
}

}  // namespace quenvara::uploader
