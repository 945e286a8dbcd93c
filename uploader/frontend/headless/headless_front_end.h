#pragma once

#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/notices.h"
#include "uploader/app/front_end.h"

namespace quenvara::uploader {

// Message boxes of a headless run: one line on standard error each, the
// default answer taken; an auto-closing box holds its caller for its seconds
// as the modal box would.
class HeadlessNotices final : public platform::Notices {
  public:
    HeadlessNotices(std::ostream& err, platform::Clock& clock) : lines_(err), clock_(clock) {}
    platform::NoticeAnswer messageBox(std::string_view text, std::string_view caption,
                                      platform::NoticeButtons buttons,
                                      platform::NoticeIcon icon) override;
    void autoClosingBox(std::string_view text, std::string_view caption, int seconds) override;

  private:
    platform::StreamNotices lines_;
    platform::Clock& clock_;
};

// The same-name question answered without a person: the question is shown
// as a message box line, and the file goes on.
class HeadlessResumeQuestion final : public ResumeQuestionDialog {
  public:
    explicit HeadlessResumeQuestion(platform::Notices& notices) : notices_(notices) {}
    Answer ask(const std::string& itemName) override;

  private:
    platform::Notices& notices_;
};

// The window drawn as terminal lines a person can follow: rows as they
// arrive and change state, the current file with its own and the overall
// progress, speed and remaining time, corner notices.
class HeadlessFrontEnd final : public FrontEnd {
  public:
    static constexpr int kRenderTimer = 1000;
    static constexpr platform::Millis kRenderPeriod{250};

    HeadlessFrontEnd(std::ostream& out, platform::Notices& notices)
        : out_(out), question_(notices) {}

    // Redraws the window's controls and list on its loop whenever something
    // changed.
    void attach(platform::EventLoop& loop, const DialogView& view, const CFileListView& list,
                const FolderWaitDialog* folderWait) override {
        attach(loop, view, list, kRenderPeriod, folderWait);
    }
    void attach(platform::EventLoop& loop, const DialogView& view, const CFileListView& list,
                platform::Millis period, const FolderWaitDialog* folderWait = nullptr);
    // Prints what changed since the last call.
    void render() override;
    ResumeQuestionDialog& resumeQuestion() override { return question_; }

    void show(std::string_view text, int appearMs, int stayMs, int disappearMs,
              std::string_view autoHide) override;

  private:
    std::ostream& out_;
    HeadlessResumeQuestion question_;
    const DialogView* view_ = nullptr;
    const CFileListView* list_ = nullptr;
    const FolderWaitDialog* folderWait_ = nullptr;
    int lastFolderFrame_ = -1;
    std::mutex mutex_;
    std::vector<std::string> rowStates_;
    std::string lastProgress_;
    std::string lastStatus_;
};

// A text progress bar: "[#####-----]".
std::string textBar(double position, double upper, int width = 20);

}  // namespace quenvara::uploader
