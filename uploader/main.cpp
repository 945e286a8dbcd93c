#include <cstring>
#include <iostream>
#include <string_view>
#include <thread>

#include "platform/clock.h"
#include "platform/notices.h"
#include "platform/system_dirs.h"
#include "platform/termination.h"
#include "uploader/app/upload_app.h"
#include "uploader/frontend/headless/headless_front_end.h"
#ifdef QUENVARA_HAVE_WX
#include "uploader/frontend/wx/wx_shell.h"
#endif

namespace {

void printUsage() {
    std::cout << "quenvara-upload: the Quenvara uploader. Takes no arguments: the web page's\n"
                 "upload control, or quenvara-handover, starts it and hands it jobs over its\n"
                 "hand-over socket.\n"
                 "Environment: QUENVARA_PIPE_DIR, QUENVARA_CONFIG_DIR, QUENVARA_SYSTEM_DIR,\n"
                 "QUENVARA_UI=headless|gui (see man quenvara-upload).\n";
}

}  // namespace

int main(int argc, char** argv) {
    using namespace quenvara;
    if (argc > 1) {
        const std::string_view arg = argv[1];
        if (arg == "--version") {
            std::cout << "QuenvaraUpLoad " << QUENVARA_VERSION << "\n";
            return 0;
        }
        printUsage();
        return arg == "--help" ? 0 : 2;
    }

    // Termination requests arrive on one thread and end the window loop.
    platform::takeTerminationRequests();

    auto env = platform::processEnvironment();
    const auto ui = env("QUENVARA_UI");
    const bool forcedGui = ui && *ui == "gui";
    const bool forcedHeadless = ui && *ui == "headless";
    platform::SystemClock clock;
#ifdef QUENVARA_HAVE_WX
    const bool display = uploader::wxui::displayAvailable(env);
    if (forcedGui && !display) {
        std::cerr << "QuenvaraUpLoad: QUENVARA_UI=gui needs a display, and neither DISPLAY nor "
                     "WAYLAND_DISPLAY is set\n";
        return 2;
    }
    if (!forcedHeadless && display) {
        return uploader::wxui::runWindowed(
            {clock, env, platform::executablePath(), std::cout, std::cerr},
            [&](std::function<void()> quit) {
                std::thread([quit = std::move(quit)] {
                    platform::waitForTerminationRequest();
                    quit();
                }).detach();
            });
    }
#else
    (void)forcedHeadless;
    if (forcedGui) {
        std::cerr << "QuenvaraUpLoad: this build has no window; QUENVARA_UI=gui cannot be met\n";
        return 2;
    }
#endif

    uploader::HeadlessNotices notices(std::cerr, clock);
    // The front-end this build has; main() picks it, the application takes it.
    uploader::HeadlessFrontEnd frontEnd(std::cout, notices);
    uploader::UploaderApp app(uploader::UploaderEnvironment{
        notices, clock, env, platform::executablePath(), std::cout, frontEnd});

    std::thread signalThread([&] {
        platform::waitForTerminationRequest();
        app.quit();
    });
    signalThread.detach();

    return app.run();
}
