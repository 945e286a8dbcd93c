#pragma once

#include <wx/timer.h>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "uploader/app/front_end.h"
#include "uploader/frontend/wx/desktop.h"
#include "uploader/frontend/wx/wx_main_frame.h"
#include "uploader/frontend/wx/wx_notices.h"
#include "uploader/widgets/taskbar_notifier.h"

class wxDialog;

namespace quenvara::uploader::wxui {

class FolderWaitView;

// The windowed front-end: the main frame, the tray icon, the corner popup
// and the busy dialog, all refreshed from the window logic on the GUI
// thread. With `probeDir`, it also writes what its widgets show there, for
// scripted checks.
class WxFrontEnd final : public FrontEnd {
  public:
    static constexpr int kRefreshMs = 100;

    WxFrontEnd(platform::EventLoop& loop, WxNotices& notices, std::string webSite,
               std::optional<std::filesystem::path> probeDir);
    ~WxFrontEnd() override;

    void attach(platform::EventLoop& loop, const DialogView& view, const CFileListView& list,
                const FolderWaitDialog* folderWait) override;
    void connect(UploadMainWindow& window) override;
    void render() override;
    ResumeQuestionDialog& resumeQuestion() override { return question_; }
    void show(std::string_view text, int appearMs, int stayMs, int disappearMs,
              std::string_view autoHide) override;

  private:
    void tick();
    void onRefreshTimer();
    void writeProbe();

    platform::EventLoop& loop_;
    WxNotices& notices_;
    WxResumeQuestion question_;
    std::string webSite_;
    std::optional<std::filesystem::path> probeDir_;
    WxMainFrame* frame_ = nullptr;
    widgets::CTaskbarNotifier* notifier_ = nullptr;
    std::unique_ptr<WxTray> tray_;
    std::unique_ptr<FolderWaitView> folderView_;
    UploadMainWindow* window_ = nullptr;
    const FolderWaitDialog* folderWait_ = nullptr;
    wxTimer refresh_;
    SleepInhibitor inhibitor_;
    std::string lastProbe_;
    // Refreshes that came late, as (steady-clock milliseconds, gap): the GUI
    // thread was busy for that long. The last few are kept for the probe.
    std::int64_t lastTickMs_ = 0;
    std::deque<std::pair<std::int64_t, std::int64_t>> lateTicks_;
};

}  // namespace quenvara::uploader::wxui
