// RunUploadModule: find or start the uploader, then hand it the job.
#include <string>

#include "platform/copy_data.h"
#include "platform/file_lock.h"
#include "platform/local_pipe.h"
#include "platform/path_text.h"
#include "webcontrol/quenvara_upload_control.h"

namespace quenvara::webcontrol {

namespace {

constexpr std::string_view kProgramName = "QuenvaraUpLoad";
constexpr std::string_view kUploaderCaption = "퀜바라 파일 올리기";
constexpr int kStartAttempts = 30;
constexpr platform::Millis kWindowAnswerLimit{30'000};

// Systems without the pipe hand each message straight to the uploader's
// window; QUENVARA_HANDOVER_WINDOW=1 takes that way where the pipe is
// there too.
bool throughWindow(const platform::EnvLookup& env) {
    return env("QUENVARA_HANDOVER_WINDOW").value_or("") == "1";
}

std::string programFile() {
    return std::string(kProgramName) + std::string(platform::executableSuffix());
}

std::filesystem::path socketPathOf(const platform::EnvLookup& env) {
    return platform::pipeDirectory(env) / platform::lowerAscii(programFile());
}

// Our user's uploader runs on the socket when it holds the instance lock
// beside it and the socket is there; process names never decide, since
// other users' uploaders and those on other socket folders do not count. A
// failure says why it cannot be told.
Result<bool> uploaderRuns(const std::filesystem::path& socketPath) {
    const auto folder = socketPath.parent_path();
    if (!platform::pipeFolderExists(folder)) {
        return false;
    }
    if (auto ours = platform::checkPrivateDirectory(folder); !ours) {
        return Result<bool>::failure(ours.error());
    }
    auto held = platform::lockIsHeld(platform::instanceLockPath(socketPath));
    if (!held || !*held) {
        return held;
    }
    return platform::localPipeExists(socketPath);
}

bool findUploader(const platform::EnvLookup& env) {
    if (throughWindow(env)) {
        return platform::copyDataWindowExists(std::string(kUploaderCaption));
    }
    const auto running = uploaderRuns(socketPathOf(env));
    return running && *running;
}

class Delivery {
  public:
    Delivery(ControlServices& services, handover::PipeListWriter& writer)
        : services_(services), writer_(writer) {}

    // Finds or starts the uploader, then sends the messages under the
    // hand-over lock: the sequences of two pages never interleave.
    void run(const std::vector<handover::ListMessage>& messages) {
        if (!startAndFindUploader()) {
            return;
        }
        const auto lock = handoverLock();
        if (!lock) {
            return;
        }
        for (const auto& message : messages) {
            // Failures are reported; the rest is still attempted.
            if (throughWindow(services_.env)) {
                sendToWindow(message);
            } else {
                writer_.write(message);
            }
        }
    }

  private:
    void warn(std::string_view text) {
        services_.notices.messageBox(text, "알림", platform::NoticeButtons::Ok,
                                     platform::NoticeIcon::Stop);
    }

    void sendToWindow(const handover::ListMessage& message) {
        const auto taken = platform::sendCopyData(std::string(kUploaderCaption),
                                                  static_cast<std::uint32_t>(message.kind),
                                                  message.payload, kWindowAnswerLimit);
        if (!taken || !*taken) {
            warn("업로드 프로그램에 넘기지 못했습니다.\n(" +
                 (taken ? std::string("the uploader did not take the message") : taken.error()) +
                 ")");
        }
    }

    bool startAndFindUploader() {
        if (throughWindow(services_.env)) {
            if (findUploader(services_.env)) {
                return true;
            }
        } else if (const auto running = uploaderRuns(socketPathOf(services_.env)); !running) {
            // Taken as not running: a start then shows whether one comes up.
            warn("실행 중인 컨텐츠등록 프로그램을 확인할 수 없습니다.\n(" + running.error() + ")");
        } else if (*running) {
            return true;
        }
        // Relative to whatever folder the browser left us in, a path names
        // no program we could trust.
        const auto systemDir = platform::systemDirectory(services_.env, services_.moduleDir);
        if (!systemDir.is_absolute()) {
            warn("시스템 경로 에러");
            return false;
        }
        services_.launcher.start({platform::utf8Text(systemDir / programFile())});
        for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
            services_.clock.sleepFor(platform::Millis{300});
            if (findUploader(services_.env)) {
                return true;
            }
            services_.clock.sleepFor(platform::Millis{500});
        }
        warn("컨텐츠등록 프로그램을 찾을수 없습니다.");
        return false;
    }

    // Another page's hand-over is waited for, but not for ever.
    std::optional<platform::FileLock> handoverLock() {
        const auto path = platform::handoverLockPath(socketPathOf(services_.env));
        for (platform::Millis waited{0};; waited += kLockPoll) {
            auto lock = platform::FileLock::tryLock(path);
            if (!lock) {
                warn("업로드 프로그램에 넘기지 못했습니다.\n(" + lock.error() + ")");
                return std::nullopt;
            }
            if (lock->held()) {
                return std::move(*lock);
            }
            if (waited >= kLockWait) {
                warn(
                    "다른 페이지가 업로드 프로그램에 파일을 넘기고 있어 넘기지 못했습니다. 잠시 "
                    "후 다시 시도하세요.");
                return std::nullopt;
            }
            services_.clock.sleepFor(kLockPoll);
        }
    }

    static constexpr platform::Millis kLockPoll{100};
    static constexpr platform::Millis kLockWait{30'000};

    ControlServices& services_;
    handover::PipeListWriter& writer_;
};

}  // namespace

void CQuenvaraUploadControlCtrl::parseMusicList() {
    auto& entries = module_.entries();
    entries.clear();
    if (musicListText_.empty()) {
        return;
    }
    std::vector<std::string> refused;
    entries = parseMusicListText(musicListText_, &refused);
    for (const auto& name : refused) {
        warn("음악 목록의 이름이 너무 길어 보내지 않습니다: " + name,
             platform::NoticeIcon::Warning);
    }
    // The buffer holds the maximum file count of the first selection, and
    // a message no more than its payload allows.
    const std::size_t room = std::min(module_.capacity(), handover::kMaxMusicListEntries);
    if (entries.size() > room) {
        warn("음악 목록이 " + std::to_string(entries.size()) + " 개로 너무 많아 " +
                 std::to_string(room) + " 개만 보냅니다.",
             platform::NoticeIcon::Warning);
        entries.resize(room);
    }
}

std::vector<handover::ListMessage> CQuenvaraUploadControlCtrl::handoverMessages() {
    std::vector<handover::ListMessage> messages;
    if (myStorageMode()) {
        messages.push_back(handover::makeServerAddressMessage(handover::ListMessageKind::MyStorage,
                                                              serverIp_, serverPort_));
        myStorage_.setUserValues(myStorageValues_);
        messages.push_back(handover::makeMyStorageJobMessage(myStorage_));
        return messages;
    }
    messages.push_back(handover::makeServerAddressMessage(handover::ListMessageKind::ServerAddress,
                                                          serverIp_, serverPort_));
    const auto& entries = module_.entries();
    if (upload_.itemKind() == static_cast<std::int32_t>(ItemKind::SingleFile)) {
        if (uploadValues_.sectionCode() == "07") {
            upload_.setMusicCheckedFlag('Y');
        }
        if (!entries.empty()) {
            upload_.setMusicCheckedFlag(entries[0].musicChecked());
            upload_.setMusicListFlag(entries[0].secondFlag());
            messages.push_back(handover::makeMusicListMessage({}));
        }
    } else if (!entries.empty()) {
        messages.push_back(handover::makeMusicListMessage(entries));
    }
    upload_.setUserValues(uploadValues_);
    messages.push_back(handover::makeUploadJobMessage(upload_));
    return messages;
}

void CQuenvaraUploadControlCtrl::RunUploadModule() {
    if (!uploadMode() && !myStorageMode()) {
        return;
    }
    // Nothing chosen (or a refused page path dropped the job): there is no
    // job to hand over, and nothing is sent.
    const bool nothing = uploadMode() ? !module_.allocated() || upload_.itemNameBytes().empty()
                                      : myStorage_.itemNameBytes().empty();
    if (nothing) {
        warn("올릴 파일이나 폴더를 먼저 선택하세요.", platform::NoticeIcon::Warning);
        return;
    }
    // A last look at what goes out: only what lies inside the picks.
    if (!(uploadMode() ? builtInsidePicks(upload_) : builtInsidePicks(myStorage_))) {
        refusePagePath(uploadMode());
        return;
    }
    if (uploadMode()) {
        parseMusicList();
    }
    // The job as it is now. The waits on the uploader let the page's other
    // calls in; what they change goes with the next hand-over, not this one.
    const auto messages = handoverMessages();
    Delivery delivery(services_, module_.writer());
    services_.outsideLock([&] { delivery.run(messages); });
}

}  // namespace quenvara::webcontrol
