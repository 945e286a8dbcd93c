#pragma once

#include <filesystem>
#include <memory>
#include <ostream>
#include <string>

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/notices.h"
#include "platform/process_table.h"
#include "platform/system_dirs.h"
#include "uploader/app/upload_main_window.h"
#include "uploader/app/upload_settings.h"
#include "uploader/handover/overlapped_name_pipe_server.h"

namespace quenvara::uploader {

inline constexpr std::string_view kWindowCaption = "퀜바라 파일 올리기";

// What the program gets from the platform; tests pass their own.
struct UploaderEnvironment {
    platform::Notices& notices;
    platform::ProcessTable& processes;
    platform::Clock& clock;
    platform::EnvLookup env;
    std::filesystem::path programPath;  // the module path of the running program
    std::ostream& out;
};

// The application object: start-up, the single-instance rule, settings, the
// hand-over server thread and the window thread's loop.
class UploaderApp {
  public:
    static constexpr int kExitAlreadyRunning = 1;

    explicit UploaderApp(UploaderEnvironment environment);
    ~UploaderApp();

    // Runs on the calling thread (the window thread) until quit(); returns
    // the process exit code.
    int run();
    // Safe from any thread.
    void quit() { loop_.quit(); }

    // The program file name and, lower-cased, the pipe name.
    const std::string& programFileName() const { return programFileName_; }
    const std::string& pipeName() const { return pipeName_; }
    std::filesystem::path socketPath() const;
    const UploadSettings& settings() const { return settings_; }
    UploadMainWindow& window() { return window_; }

  private:
    void loadSettings();

    UploaderEnvironment env_;
    std::string programFileName_;
    std::string pipeName_;
    platform::ThreadEventLoop loop_;
    UploadMainWindow window_;
    std::unique_ptr<SettingsStore> settingsStore_;
    UploadSettings settings_;
    std::unique_ptr<COverlappedNamePipeServer> pipeServer_;
};

}  // namespace quenvara::uploader
