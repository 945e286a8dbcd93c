#include "uploader/frontend/headless/headless_front_end.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "platform/notices.h"

namespace quenvara::uploader {

platform::NoticeAnswer HeadlessNotices::messageBox(std::string_view text, std::string_view caption,
                                                   platform::NoticeButtons buttons,
                                                   platform::NoticeIcon icon) {
    return lines_.messageBox(text, caption, buttons, icon);
}

void HeadlessNotices::autoClosingBox(std::string_view text, std::string_view caption, int seconds) {
    lines_.autoClosingBox(text, caption, seconds);
    clock_.sleepFor(platform::Millis{1000} * std::max(seconds, 0));
}

std::string textBar(double position, double upper, int width) {
    const double fraction = upper > 0 ? std::clamp(position / upper, 0.0, 1.0) : 0.0;
    const int filled = static_cast<int>(fraction * width + 0.5);
    return "[" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(width - filled), '-') + "]";
}

void HeadlessFrontEnd::attach(platform::EventLoop& loop, const DialogView& view,
                              const CFileListView& list, platform::Millis period,
                              const FolderWaitDialog* folderWait) {
    {
        std::lock_guard lock(mutex_);
        view_ = &view;
        list_ = &list;
        folderWait_ = folderWait;
    }
    loop.setTimer(kRenderTimer, period, [this] { render(); });
}

void HeadlessFrontEnd::render() {
    std::lock_guard lock(mutex_);
    if (view_ == nullptr || list_ == nullptr) {
        return;
    }
    const DialogView& view = *view_;
    const CFileListView& list = *list_;
    std::ostringstream lines;
    {
        auto guard = list.lock();
        const int rows = list.rowCount();
        if (rows < static_cast<int>(rowStates_.size())) {
            lines << "목록: " << rowStates_.size() - static_cast<std::size_t>(rows)
                  << " rows removed\n";
            rowStates_.resize(static_cast<std::size_t>(rows));
        }
        for (int r = 0; r < rows; ++r) {
            const auto state = list.jobState(r);
            const auto detail = list.text(r, CFileListView::kStatusText);
            const auto idx = static_cast<std::size_t>(r);
            if (idx >= rowStates_.size()) {
                rowStates_.push_back(state);
                lines << "목록 " << r + 1 << ": " << list.text(r, CFileListView::kName) << "  "
                      << list.text(r, CFileListView::kKind) << "  "
                      << list.text(r, CFileListView::kSize) << "  " << state << "\n";
            } else if (rowStates_[idx] != state) {
                rowStates_[idx] = state;
                lines << "목록 " << r + 1 << ": " << list.text(r, CFileListView::kName) << "  "
                      << state;
                if (detail != state && !detail.empty()) {
                    lines << "  (" << detail << ")";
                }
                lines << "\n";
            }
        }
    }
    if (folderWait_ != nullptr) {
        // The busy dialog as a spinner line, one per animation frame.
        const int frame = folderWait_->open() ? folderWait_->frame() : -1;
        if (frame != lastFolderFrame_) {
            static constexpr std::string_view kSpinner[] = {"|", "/", "-", "\\"};
            if (frame >= 0) {
                lines << "폴더 확인 중 " << kSpinner[frame % 4] << "\n";
            } else if (lastFolderFrame_ >= 0) {
                lines << "폴더 확인 끝\n";
            }
            lastFolderFrame_ = frame;
        }
    }
    const auto file = view.text(control::kCurrentFile);
    if (!file.empty()) {
        const auto bar = list.progressBar();
        const auto overall = view.control(control::kOverallBar);
        std::ostringstream progress;
        progress << "현재파일 " << file << " " << textBar(bar.position, bar.upper, 10) << " "
                 << bar.text << "  전체 " << textBar(overall.position, overall.upper) << " "
                 << overall.text << "  " << view.text(control::kSpeed) << "  남은시간 "
                 << view.text(control::kRemainingTime);
        if (progress.str() != lastProgress_) {
            lastProgress_ = progress.str();
            lines << lastProgress_ << "\n";
        }
    }
    const auto status = view.text(control::kStatusLine);
    if (status != lastStatus_) {
        lastStatus_ = status;
        if (!status.empty()) {
            lines << "상태: " << status << "\n";
        }
    }
    if (!lines.str().empty()) {
        out_ << lines.str() << std::flush;
    }
}

void HeadlessFrontEnd::show(std::string_view text, int, int, int, std::string_view) {
    std::lock_guard lock(mutex_);
    out_ << "[알림] " << platform::oneLine(text) << std::endl;
}

ResumeQuestionDialog::Answer HeadlessResumeQuestion::ask(const std::string& itemName) {
    notices_.messageBox(sameNameQuestion(itemName), kSameNameCaption,
                        platform::NoticeButtons::YesNo, platform::NoticeIcon::Question);
    return {true, false};
}

}  // namespace quenvara::uploader
