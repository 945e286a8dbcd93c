#include "uploader/frontend/wx/wx_front_end.h"

#include <wx/notifmsg.h>
#include <wx/utils.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "uploader/app/upload_main_window.h"
#include "uploader/frontend/wx/folder_wait_view.h"
#include "uploader/widgets/skin_bitmaps.h"

namespace quenvara::uploader::wxui {

namespace {

wxString u8(std::string_view text) {
    return wxString::FromUTF8(text.data(), text.size());
}

const char* phaseName(widgets::NotifierMotion::Phase phase) {
    switch (phase) {
        case widgets::NotifierMotion::Phase::Hidden:
            return "hidden";
        case widgets::NotifierMotion::Phase::Appearing:
            return "appearing";
        case widgets::NotifierMotion::Phase::Staying:
            return "staying";
        case widgets::NotifierMotion::Phase::Disappearing:
            break;
    }
    return "disappearing";
}

}  // namespace

WxFrontEnd::WxFrontEnd(platform::EventLoop& loop, WxNotices& notices, std::string webSite,
                       std::optional<std::filesystem::path> probeDir)
    : loop_(loop),
      notices_(notices),
      question_(notices),
      webSite_(std::move(webSite)),
      probeDir_(std::move(probeDir)) {
    refresh_.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { onRefreshTimer(); });
}

WxFrontEnd::~WxFrontEnd() {
    refresh_.Stop();
    inhibitor_.hold(false);
    if (tray_) {
        tray_->RemoveIcon();
    }
    if (frame_ != nullptr) {
        frame_->Destroy();
    }
}

void WxFrontEnd::attach(platform::EventLoop&, const DialogView& view, const CFileListView& list,
                        const FolderWaitDialog* folderWait) {
    folderWait_ = folderWait;
    frame_ = new WxMainFrame(view, list, webSite_);
    notices_.setOwner(frame_);
    if (WxTray::available()) {
        tray_ = WxTray::create(*frame_);
    }
    frame_->setTrayAvailable(tray_ != nullptr);
    notifier_ = new widgets::CTaskbarNotifier(frame_);
    // The main window's popup: its own skin, 10-point text underlined on
    // hover, the text between the skin's title and its foot.
    notifier_->setTextFont(u8("굴림"), 100, 0, widgets::CTaskbarNotifier::kUnderline);
    notifier_->setTextColours(wxColour(133, 146, 181), wxColour(0, 0, 200));
    const wxSize skin = widgets::skin::notifierSkin().GetSize();
    notifier_->setTextRect(wxRect(10, 50, skin.x - 20, skin.y - 25 - 50));
    frame_->Show();
    refresh_.Start(kRefreshMs);
}

void WxFrontEnd::connect(UploadMainWindow& window) {
    window_ = &window;
    frame_->connect(window);
    if (tray_) {
        tray_->connect([&window](int command) { window.onCommand(command); },
                       [&window](TrayIcon::Mouse mouse) { window.onTrayMouse(mouse); });
    }
    folderView_ = std::make_unique<FolderWaitView>(frame_, window.folderWait());
    tick();
}

void WxFrontEnd::render() {
    if (frame_ != nullptr) {
        tick();
    }
}

void WxFrontEnd::show(std::string_view text, int appearMs, int stayMs, int disappearMs,
                      std::string_view autoHide) {
    std::string copy(text);
    std::string hide(autoHide);
    loop_.post([this, copy, hide, appearMs, stayMs, disappearMs] {
        if (!cornerPopupPlaceable()) {
            wxNotificationMessage message(u8(kWindowCaption), u8(copy), frame_);
            message.Show(std::max(stayMs / 1000, 1));
            return;
        }
        notifier_->setAutoHide(hide);
        notifier_->showText(u8(copy), appearMs, stayMs, disappearMs);
    });
}

void WxFrontEnd::onRefreshTimer() {
    const std::int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now().time_since_epoch())
                                 .count();
    // A refresh more than a period late means nothing was repainted for
    // that long.
    if (lastTickMs_ != 0 && now - lastTickMs_ > 2 * kRefreshMs) {
        lateTicks_.emplace_back(now, now - lastTickMs_);
        if (lateTicks_.size() > 20) {
            lateTicks_.pop_front();
        }
    }
    lastTickMs_ = now;
    tick();
}

void WxFrontEnd::tick() {
    if (frame_ == nullptr) {
        return;
    }
    frame_->refresh();
    if (window_ != nullptr) {
        if (tray_) {
            tray_->update(window_->tray());
        }
        inhibitor_.hold(window_->activeFlag() != 0 && window_->runningFlag() != 0);
    }
    if (folderView_) {
        folderView_->update();
    }
    if (probeDir_) {
        writeProbe();
    }
}

void WxFrontEnd::writeProbe() {
    std::ostringstream out;
    for (const auto& line : frame_->describe()) {
        out << line << "\n";
    }
    out << (tray_ ? tray_->describe() : std::string("tray available=0")) << "\n";
    out << "notifier phase=" << phaseName(notifier_->phase()) << " text=\""
        << notifier_->text().utf8_string() << "\"\n";
    out << "box " << notices_.openBox() << "\n";
    if (folderView_) {
        out << folderView_->describe() << "\n";
    }
    out << "inhibitor held=" << inhibitor_.held() << "\n";
    out << "late-refreshes";
    for (const auto& [at, gap] : lateTicks_) {
        out << " " << at << ":" << gap;
    }
    out << "\n";
    const std::string state = out.str();
    if (state != lastProbe_) {
        lastProbe_ = state;
        // Written whole, then renamed: a reader never sees half a state.
        const auto partial = *probeDir_ / "state.txt.part";
        std::ofstream(partial) << state;
        std::error_code error;
        std::filesystem::rename(partial, *probeDir_ / "state.txt", error);
    }
}

}  // namespace quenvara::uploader::wxui
