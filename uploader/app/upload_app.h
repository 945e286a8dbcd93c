#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>

#include "platform/clock.h"
#include "platform/copy_data.h"
#include "platform/event_loop.h"
#include "platform/file_lock.h"
#include "platform/launcher.h"
#include "platform/notices.h"
#include "platform/shutdown.h"
#include "platform/system_dirs.h"
#include "uploader/app/front_end.h"
#include "uploader/app/music_filter_binding.h"
#include "uploader/app/upload_main_window.h"
#include "uploader/app/upload_settings.h"
#include "uploader/handover/overlapped_name_pipe_server.h"
#include "uploader/transfer/c_file_socket.h"

namespace quenvara::uploader {

// What the program gets from the platform; tests pass their own.
struct UploaderEnvironment {
    platform::Notices& notices;
    platform::Clock& clock;
    platform::EnvLookup env;
    std::filesystem::path programPath;  // the module path of the running program
    std::ostream& out;
    // Draws the window, shows the corner notices, answers the questions.
    FrontEnd& frontEnd;
    // Tests: the clock is virtual and the window loop skips its idle time.
    bool virtualTime = false;
    // The window thread's loop when a toolkit runs it (the wx front-end);
    // otherwise the application runs its own.
    platform::RunnableEventLoop* loop = nullptr;
};

// The service's web site (banners, tray menu): the environment's
// QUENVARA_WEB_URL, else the build's.
std::string webSiteUrl(const platform::EnvLookup& env);

// The application object: start-up, the single-instance rule, settings, the
// hand-over server thread, the main window and the window thread's loop.
class UploaderApp {
  public:
    static constexpr int kExitAlreadyRunning = 1;

    explicit UploaderApp(UploaderEnvironment environment);
    ~UploaderApp();

    // Runs on the calling thread (the window thread) until the window ends
    // or quit(); returns the process exit code.
    int run();
    // Safe from any thread.
    void quit() { loop_.quit(); }
    platform::EventLoop& loop() { return loop_; }

    // The program file name and, lower-cased, the pipe name.
    const std::string& programFileName() const { return programFileName_; }
    const std::string& pipeName() const { return pipeName_; }
    std::filesystem::path socketPath() const;
    const UploadSettings& settings() const { return settings_; }
    // The transfer threads the window starts (the engine).
    void setTransferFactory(TransferThreadFactory factory) { factory_ = std::move(factory); }

  private:
    void loadSettings();

    UploaderEnvironment env_;
    std::string programFileName_;
    std::string pipeName_;
    platform::ThreadEventLoop ownLoop_;
    platform::RunnableEventLoop& loop_;
    TransferThreadFactory factory_;
    platform::SpawnLauncher launcher_;
    platform::CommandShutdown shutdown_;
    platform::PosixTcpConnector connector_;
    std::unique_ptr<SettingsStore> settingsStore_;
    UploadSettings settings_;
    std::unique_ptr<MusicFilterBinding> musicFilter_;
    // Held for the program's whole life: this user's uploader on this socket.
    platform::FileLock instanceLock_;
    std::unique_ptr<UploadMainWindow> window_;
    std::unique_ptr<COverlappedNamePipeServer> pipeServer_;
    // Where the system has window messages: a window under the main
    // window's caption for clients without the pipe.
    std::unique_ptr<platform::CopyDataReceiver> copyData_;
    std::mutex deliveryMutex_;
};

}  // namespace quenvara::uploader
