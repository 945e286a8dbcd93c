// RunUploadModule: find or start the uploader, then hand it the job.
#include <string>

#include "platform/file_lock.h"
#include "platform/local_pipe.h"
#include "webcontrol/quenvara_upload_control.h"

namespace quenvara::webcontrol {

namespace {

constexpr std::string_view kProgramFile = "QuenvaraUpLoad";
constexpr int kStartAttempts = 30;

std::filesystem::path socketPathOf(const platform::EnvLookup& env) {
    return platform::pipeDirectory(env) / platform::lowerAscii(kProgramFile);
}

// Our user's uploader runs on the socket when it holds the instance lock
// beside it and the socket is there; process names never decide, since
// other users' uploaders and those on other socket folders do not count. A
// failure says why it cannot be told.
Result<bool> uploaderRuns(const std::filesystem::path& socketPath) {
    const auto folder = socketPath.parent_path();
    std::error_code error;
    if (!std::filesystem::exists(folder, error) && !error) {
        return false;
    }
    if (auto ours = platform::checkPrivateDirectory(folder); !ours) {
        return Result<bool>::failure(ours.error());
    }
    auto held = platform::lockIsHeld(platform::instanceLockPath(socketPath));
    if (!held || !*held) {
        return held;
    }
    return std::filesystem::is_socket(socketPath, error);
}

}  // namespace

bool CQuenvaraUploadControlCtrl::findUploader() const {
    const auto running = uploaderRuns(socketPathOf(services_.env));
    return running && *running;
}

bool CQuenvaraUploadControlCtrl::startAndFindUploader() {
    const auto running = uploaderRuns(socketPathOf(services_.env));
    if (!running) {
        // Taken as not running: a start then shows whether one comes up.
        warn("실행 중인 컨텐츠등록 프로그램을 확인할 수 없습니다.\n(" + running.error() + ")");
    } else if (*running) {
        return true;
    }
    // Relative to whatever folder the browser left us in, a path names no
    // program we could trust.
    const auto systemDir = platform::systemDirectory(services_.env, services_.moduleDir);
    if (!systemDir.is_absolute()) {
        warn("시스템 경로 에러");
        return false;
    }
    services_.launcher.start({(systemDir / std::string(kProgramFile)).string()});
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        services_.clock.sleepFor(platform::Millis{300});
        if (findUploader()) {
            return true;
        }
        services_.clock.sleepFor(platform::Millis{500});
    }
    warn("컨텐츠등록 프로그램을 찾을수 없습니다.");
    return false;
}

void CQuenvaraUploadControlCtrl::send(const handover::ListMessage& message) {
    // Failures are reported by the writer; the rest is still attempted.
    module_.writer().write(message);
}

void CQuenvaraUploadControlCtrl::parseMusicList() {
    auto& entries = module_.entries();
    entries.clear();
    if (musicListText_.empty()) {
        return;
    }
    entries = parseMusicListText(musicListText_);
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
    if (uploadMode()) {
        parseMusicList();
    }
    if (!startAndFindUploader()) {
        return;
    }
    // The whole sequence goes under the hand-over lock beside the socket: the
    // sequences of two pages never interleave.
    const auto handoverLock =
        platform::FileLock::lock(platform::handoverLockPath(socketPathOf(services_.env)));
    if (!handoverLock) {
        warn("업로드 프로그램에 넘기지 못했습니다.\n(" + handoverLock.error() + ")");
        return;
    }
    if (myStorageMode()) {
        send(handover::makeServerAddressMessage(handover::ListMessageKind::MyStorage, serverIp_,
                                                serverPort_));
        myStorage_.setUserValues(myStorageValues_);
        send(handover::makeMyStorageJobMessage(myStorage_));
        return;
    }
    send(handover::makeServerAddressMessage(handover::ListMessageKind::ServerAddress, serverIp_,
                                            serverPort_));
    const auto& entries = module_.entries();
    if (upload_.itemKind() == static_cast<std::int32_t>(ItemKind::SingleFile)) {
        if (uploadValues_.sectionCode() == "07") {
            upload_.setMusicCheckedFlag('Y');
        }
        if (!entries.empty()) {
            upload_.setMusicCheckedFlag(entries[0].musicChecked());
            upload_.setMusicListFlag(entries[0].secondFlag());
            send(handover::makeMusicListMessage({}));
        }
    } else if (!entries.empty()) {
        send(handover::makeMusicListMessage(entries));
    }
    upload_.setUserValues(uploadValues_);
    send(handover::makeUploadJobMessage(upload_));
}

}  // namespace quenvara::webcontrol
