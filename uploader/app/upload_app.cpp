#include "uploader/app/upload_app.h"

#include "uploader/app/single_instance.h"

namespace quenvara::uploader {

UploaderApp::UploaderApp(UploaderEnvironment environment)
    : env_(std::move(environment)),
      programFileName_(env_.programPath.filename().string()),
      pipeName_(platform::lowerAscii(programFileName_)),
      window_(env_.notices, env_.out) {}

UploaderApp::~UploaderApp() {
    if (pipeServer_) {
        pipeServer_->stop();
    }
}

std::filesystem::path UploaderApp::socketPath() const {
    return platform::pipeDirectory(env_.env) / pipeName_;
}

void UploaderApp::loadSettings() {
    settingsStore_ =
        std::make_unique<SettingsStore>(platform::settingsDirectory(env_.env), programFileName_);
    std::string warnings;
    settings_ = settingsStore_->loadAtStart(warnings);
    if (!warnings.empty()) {
        env_.out << "settings: " << warnings << std::flush;
    }
}

int UploaderApp::run() {
    const bool onlyInstance = isOnlyInstance(env_.processes, programFileName_);
    if (!onlyInstance) {
        env_.notices.show(kAlreadyRunningText);
    } else {
        COverlappedNamePipeServer::Options options;
        options.socketPath = socketPath();
        // Each message reaches the window as a synchronous call on its thread.
        auto deliver = [this](const handover::ListMessage& message) {
            Status result;
            if (!loop_.send([&] { result = window_.onCopyData(message); })) {
                return Status::failure("the window has closed");
            }
            return result;
        };
        pipeServer_ = std::make_unique<COverlappedNamePipeServer>(std::move(options), deliver,
                                                                  env_.notices, env_.clock);
        pipeServer_->start();
    }
    // The rest of the initialisation runs for a second instance too; its
    // window then closes as soon as initialisation returns.
    loadSettings();
    if (!onlyInstance) {
        return kExitAlreadyRunning;
    }
    env_.out << kWindowCaption << ": waiting for hand-over on " << socketPath().string()
             << " (close window after transfer: " << (settings_.closeWindowChecked() ? "on" : "off")
             << ", notifications: " << (settings_.notificationsOff ? "off" : "on") << ")"
             << std::endl;
    loop_.run();
    pipeServer_->stop();
    return 0;
}

}  // namespace quenvara::uploader
