// RunUploadModule: find or start the uploader, then hand it the job.
#include <string>

#include "webcontrol/quenvara_upload_control.h"

namespace quenvara::webcontrol {

namespace {

constexpr std::string_view kProgramFile = "QuenvaraUpLoad";
constexpr int kStartAttempts = 30;

}  // namespace

// The uploader is there when its process runs and its hand-over socket
// exists (the window answers on it).
bool CQuenvaraUploadControlCtrl::findUploader() const {
    std::vector<std::string> names;
    if (!services_.processes.snapshot(names)) {
        return false;
    }
    const std::string image = platform::lowerAscii(kProgramFile);
    bool running = false;
    for (const auto& name : names) {
        running = running || platform::lowerAscii(name) == image;
    }
    std::error_code error;
    return running &&
           std::filesystem::is_socket(platform::pipeDirectory(services_.env) / image, error);
}

bool CQuenvaraUploadControlCtrl::startAndFindUploader() {
    if (findUploader()) {
        return true;
    }
    const auto program =
        platform::systemDirectory(services_.env, services_.moduleDir) / std::string(kProgramFile);
    services_.launcher.start({program.string()});
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        services_.clock.sleepFor(platform::Millis{300});
        if (findUploader()) {
            return true;
        }
        services_.clock.sleepFor(platform::Millis{500});
    }
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
    if (uploadMode()) {
        if (!module_.allocated()) {
            // Nothing chosen yet: there is no job to hand over.
            warn("올릴 파일이나 폴더를 먼저 선택하세요.", platform::NoticeIcon::Warning);
            return;
        }
        parseMusicList();
    } else if (!myStorageMode()) {
        return;
    }
    if (!startAndFindUploader()) {
        warn("컨텐츠등록 프로그램을 찾을수 없습니다.");
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
