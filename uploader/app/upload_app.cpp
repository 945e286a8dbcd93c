#include "uploader/app/upload_app.h"

#include "handover_client/pipe_list_writer.h"
#include "platform/path_text.h"
#include "uploader/app/single_instance.h"

#ifndef QUENVARA_WEB_URL
#define QUENVARA_WEB_URL "https://quenvara.example"
#endif

namespace quenvara::uploader {

using namespace std::chrono_literals;

UploaderApp::UploaderApp(UploaderEnvironment environment)
    : env_(std::move(environment)),
      programFileName_(platform::utf8Text(env_.programPath.filename())),
      pipeName_(platform::lowerAscii(programFileName_)),
      ownLoop_(env_.virtualTime ? &env_.clock : nullptr),
      loop_(env_.loop != nullptr ? *env_.loop : ownLoop_),
      shutdown_(launcher_, env_.env) {}

UploaderApp::~UploaderApp() {
    if (pipeServer_) {
        pipeServer_->stop();
    }
    copyData_.reset();
}

std::filesystem::path UploaderApp::socketPath() const {
    return platform::pipeDirectory(env_.env) / pipeName_;
}

std::string webSiteUrl(const platform::EnvLookup& env) {
    if (auto url = env("QUENVARA_WEB_URL"); url && !url->empty()) {
        return *url;
    }
    return QUENVARA_WEB_URL;
}

void UploaderApp::loadSettings() {
    std::string warnings;
    settings_ = settingsStore_->loadAtStart(warnings);
    if (!warnings.empty()) {
        env_.out << "settings: " << warnings << std::flush;
    }
}

int UploaderApp::run() {
    // The window object: its last construction step binds the music filter.
    settingsStore_ =
        std::make_unique<SettingsStore>(platform::settingsDirectory(env_.env), programFileName_);
    musicFilter_ = std::make_unique<MusicFilterBinding>(env_.notices, programFileName_);
    window_ = std::make_unique<UploadMainWindow>(
        WindowServices{loop_, env_.clock, env_.notices, env_.frontEnd, *musicFilter_, shutdown_,
                       launcher_, settingsStore_.get(), webSiteUrl(env_.env)});
    window_->setOnEnd([this] {
        env_.frontEnd.render();
        loop_.quit();
    });
    if (!factory_) {
        factory_ = CFileSocket::factory(TransferServices{env_.clock, env_.notices, connector_,
                                                         env_.frontEnd.resumeQuestion(),
                                                         std::make_shared<RegisteredRecords>()});
    }
    window_->setTransferFactory(factory_);
    window_->setHandOverLog(
        [this](const std::string& line) { env_.out << "hand-over: " << line << std::endl; });

    // A folder that cannot be used is reported by the hand-over server, which
    // tries it again a while.
    auto claim = claimInstance(socketPath());
    const bool onlyInstance = !claim || claim->held();
    if (claim) {
        instanceLock_ = std::move(*claim);
    }
    if (!onlyInstance) {
        // The running uploader shows its window; this one says why it ends.
        handover::PipeListWriter writer(env_.notices, env_.clock,
                                        [this](std::string_view) { return socketPath(); });
        writer.write(handover::makeShowWindowMessage());
        env_.notices.messageBox(kAlreadyRunningText, kWindowCaption, platform::NoticeButtons::Ok,
                                platform::NoticeIcon::Information);
    } else {
        COverlappedNamePipeServer::Options options;
        options.socketPath = socketPath();
        // Each message reaches the window as a synchronous call on its thread;
        // the pipe's thread and the window messages' thread take turns, one
        // whole message each (the music list looked at ahead is shared).
        auto deliver = [this](const handover::ListMessage& message) {
            const std::lock_guard turn(deliveryMutex_);
            window_->checkMusicAhead(message);
            Status result;
            if (!loop_.send([&] { result = window_->onCopyData(message); })) {
                return Status::failure("the window has closed");
            }
            return result;
        };
        pipeServer_ = std::make_unique<COverlappedNamePipeServer>(std::move(options), deliver,
                                                                  env_.notices, env_.clock);
        pipeServer_->start();
        // The same messages, straight to the window: what the window
        // answers is what the sender learns.
        auto receiver = platform::CopyDataReceiver::open(
            std::string(kWindowCaption),
            [deliver](std::uint32_t kind, std::span<const std::uint8_t> data) {
                const handover::ListMessage message{static_cast<std::int32_t>(kind),
                                                    {data.begin(), data.end()}};
                return static_cast<bool>(deliver(message));
            });
        if (receiver) {
            copyData_ = std::move(*receiver);
        } else {
            env_.out << "window messages: " << receiver.error() << std::endl;
        }
    }
    // The rest of the initialisation runs for a second instance too; its
    // window then closes as soon as initialisation returns.
    loadSettings();
    window_->initialise(settings_);
    if (!onlyInstance) {
        window_->destroy();
        return kExitAlreadyRunning;
    }
    env_.frontEnd.attach(loop_, window_->view(), window_->list(), &window_->folderWait());
    env_.frontEnd.connect(*window_);
    env_.out << kWindowCaption << ": waiting for hand-over on " << platform::utf8Text(socketPath())
             << " (close window after transfer: " << (settings_.closeWindowChecked() ? "on" : "off")
             << ", notifications: " << (settings_.notificationsOff ? "off" : "on") << ")"
             << std::endl;
    loop_.run();
    // The hand-over ends before the window goes.
    pipeServer_->stop();
    copyData_.reset();
    if (!window_->ended()) {
        window_->destroy();
    }
    return 0;
}

}  // namespace quenvara::uploader
