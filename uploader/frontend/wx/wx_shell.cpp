#include "uploader/frontend/wx/wx_shell.h"

#include <wx/app.h>
#include <wx/image.h>
#include <wx/init.h>

#include <cstdio>

#include "uploader/app/upload_app.h"
#include "uploader/frontend/wx/wx_event_loop.h"
#include "uploader/frontend/wx/wx_front_end.h"
#include "uploader/frontend/wx/wx_notices.h"

namespace quenvara::uploader::wxui {

namespace {

class QuenvaraWxApp final : public wxApp {
  public:
    bool OnInit() override {
        // The window logic decides when the program ends, not the last frame.
        SetExitOnFrameDelete(false);
        wxInitAllImageHandlers();
        return true;
    }
};

void assertionToLog(const wxString& file, int line, const wxString& function,
                    const wxString& condition, const wxString& message) {
    std::fprintf(stderr, "QuenvaraUpLoad: toolkit assertion \"%s\" failed in %s (%s:%d): %s\n",
                 condition.utf8_string().c_str(), function.utf8_string().c_str(),
                 file.utf8_string().c_str(), line, message.utf8_string().c_str());
}

}  // namespace

void logToolkitAssertions() {
    wxSetAssertHandler(assertionToLog);
}

bool displayAvailable([[maybe_unused]] const platform::EnvLookup& env) {
#if defined(__WXMSW__)
    return true;  // a Windows session always has its desktop
#else
    const auto set = [&](const char* name) {
        auto value = env(name);
        return value && !value->empty();
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY");
#endif
}

int runWindowed(const WindowedRun& run,
                const std::function<void(std::function<void()>)>& onStarted) {
    logToolkitAssertions();
    wxApp::SetInstance(new QuenvaraWxApp);
    // The window's class comes from this name, whichever link started us:
    // the desktop entry's StartupWMClass matches it.
    int argc = 1;
    char name[] = "QuenvaraUpLoad";
    char* argv[] = {name, nullptr};
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
        run.err << "QuenvaraUpLoad: cannot open the window on this display "
                   "(QUENVARA_UI=headless runs without one)\n";
        wxEntryCleanup();
        return 2;
    }
    int status = 0;
    {
        WxEventLoop loop;
        WxNotices notices(loop);
        std::optional<std::filesystem::path> probe;
        if (auto dir = run.env("QUENVARA_GUI_PROBE"); dir && !dir->empty()) {
            probe = std::filesystem::path(*dir);
            std::error_code error;
            std::filesystem::create_directories(*probe, error);
        }
        WxFrontEnd frontEnd(loop, notices, webSiteUrl(run.env), probe);
        UploaderApp app(UploaderEnvironment{notices, run.clock, run.env, run.programPath, run.out,
                                            frontEnd, false, &loop});
        onStarted([&app] { app.quit(); });
        status = app.run();
    }
    wxEntryCleanup();
    return status;
}

}  // namespace quenvara::uploader::wxui
