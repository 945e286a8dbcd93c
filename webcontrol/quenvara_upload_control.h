#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/file_dialogs.h"
#include "platform/launcher.h"
#include "platform/notices.h"
#include "platform/process_table.h"
#include "platform/real_path.h"
#include "platform/system_dirs.h"
#include "protocol/job_records.h"
#include "webcontrol/control_module.h"
#include "webcontrol/control_value.h"
#include "webcontrol/picked_places.h"

namespace quenvara::webcontrol {

struct ControlServices {
    platform::Notices& notices;
    platform::Clock& clock;
    platform::ProcessTable& processes;
    platform::Launcher& launcher;
    platform::FileDialogs& dialogs;
    platform::EnvLookup env;
    // Where the control's module lives: the system directory is found from
    // here when QUENVARA_SYSTEM_DIR is not set.
    std::filesystem::path moduleDir;
    // Runs a wait on other programs (the uploader's start, the hand-over
    // lock, the uploader's answers) with the control's own lock let go, so
    // that the page's other calls are answered meanwhile. The wait touches
    // nothing of the control.
    std::function<void(const std::function<void()>&)> outsideLock =
        [](const std::function<void()>& wait) { wait(); };
    // How a page's path inside a pick is resolved on the disk.
    PickedPlaces::RealPlace realPlace = [](const std::filesystem::path& path,
                                           std::error_code& error) {
        return platform::realPath(path, error);
    };
};

// The web-page upload control: one per page. The page picks a file or a
// folder, reads names, sizes and music files back, sets its values and
// hands the job to the uploader.
class CQuenvaraUploadControlCtrl {
  public:
    static constexpr int kDefaultMaxFileCount = 1000;
    static constexpr int kUploadMode = 0;
    static constexpr int kMyStorageMode = 1;

    CQuenvaraUploadControlCtrl(ControlServices services, ControlModule& module);

    // Properties (dispatch ids 1-3).
    std::string strCmdServerIP() const { return serverIp_; }
    void setStrCmdServerIP(const std::string& ip);
    std::int32_t dwServerPort() const { return serverPort_; }
    void setDwServerPort(std::int32_t port);
    std::int32_t nUpActiveType() const { return activeType_; }
    void setNUpActiveType(std::int32_t type);
    bool modified() const { return modified_; }

    // Methods (dispatch ids 4-19).
    std::string ShowSelectDlg(std::int32_t nSelect);
    std::string GetFileSize() const;
    std::string GetFileName() const;
    double GetRealFileSize() const;
    std::string GetFileList() const;
    void SetUpValue(const std::string& key, const std::string& value);
    void RunUploadModule();
    bool IsOpenSelectDlg() const { return dialogOpen_; }
    bool IsSucessed() const { return true; }
    bool CheckUploadFileSize(const std::string& path) const;
    std::int32_t GetAllFileCount() const;
    ControlValue GetAllFileList(std::int32_t index) const;
    std::int32_t GetMusicCount() const;
    ControlValue GetMusicInfo(std::int32_t index) const;
    void SetMaxFileCount(std::int32_t maxValue) { maxFileCount_ = maxValue; }
    void SetOrvaneFile(const std::string& text) { musicListText_ = text; }

    // The three properties as a property bag, under their own names.
    std::map<std::string, ControlValue> saveProperties() const;
    void loadProperties(const std::map<std::string, ControlValue>& bag);

    // A path the page gives is taken only when it is, or lies inside, a
    // file or folder the person picked in this control's own dialog.
    static constexpr std::string_view kRefusedPathText =
        "이 페이지에서 선택하지 않은 파일이나 폴더는 올릴 수 없습니다.";

    // For tests: the records being built.
    const UploadJobRecord& uploadRecord() const { return upload_; }
    const MyStorageJobRecord& myStorageRecord() const { return myStorage_; }
    UserValueBlock uploadValues() const { return uploadValues_; }
    UserValueBlock myStorageValues() const { return myStorageValues_; }

  private:
    // The page-list selection area of select modes 3 and 4.
    struct PageListArea {
        std::int32_t kind = 0;  // 1 folder, 2 file
        std::string name;
        std::string parent;
        double size = 0;
    };
    struct Walk {
        int count = 0;
        double size = 0;
    };

    // Everything a selection changes, kept to be put back when a selection
    // is refused half-way (a name the records cannot carry).
    struct Selection {
        UploadJobRecord upload;
        UserValueBlock uploadValues;
        MyStorageJobRecord myStorage;
        UserValueBlock myStorageValues;
        PageListArea area;
        std::int32_t lastSelect = 0;
        std::int32_t lastMyStorageSelect = -1;
        double realSize = 0;
        double myStorageRealSize = 0;
        ControlModule::Contents module;
    };
    Selection saveSelection() const;
    void restoreSelection(const Selection& saved);
    // The person picked `chosen` in a dialog of this control: its real
    // place, or nothing (with a notice) when a record could not carry it.
    std::optional<std::string> remember(const std::string& chosen);
    // What a record would hand over lies inside what the person picked:
    // its fields read back and joined the way the uploader joins them.
    template <class Record>
    bool builtInsidePicks(const Record& record) const;
    // A page path outside the picks: the one notice, and the job so far is
    // dropped so that nothing of it goes out.
    void refusePagePath(bool upload);
    void setPagePath(bool upload, bool folder, const std::string& value);

    bool uploadMode() const { return activeType_ == kUploadMode; }
    bool myStorageMode() const { return activeType_ == kMyStorageMode; }
    std::string selectUpload(std::int32_t nSelect);
    std::string selectMyStorage(std::int32_t nSelect);
    // Paths are UTF-8 texts, as the records and the page have them.
    void walkFolder(const std::string& folder, Walk& walk, bool census);
    void musicCensus(const std::string& path, const std::string& name, double size);
    std::string limitText() const;
    template <class Record>
    bool fillFolderItem(Record& record, UserValueBlock& block, const std::string& path,
                        std::int32_t tag, bool checkLimit, bool setRealSize, double& realSize);
    template <class Record>
    bool fillFileItem(Record& record, UserValueBlock& block, const std::string& path,
                      std::int32_t tag, std::int32_t userCopy, double& realSize);
    void parseMusicList();
    // The messages RunUploadModule hands over, built from the job as it is.
    std::vector<handover::ListMessage> handoverMessages();
    void warn(std::string_view text, platform::NoticeIcon icon = platform::NoticeIcon::Stop);

    ControlServices services_;
    ControlModule& module_;
    std::string serverIp_;
    std::int32_t serverPort_ = 0;
    std::int32_t activeType_ = 0;
    bool modified_ = false;

    UploadJobRecord upload_;
    UserValueBlock uploadValues_;
    MyStorageJobRecord myStorage_;
    UserValueBlock myStorageValues_;
    PageListArea area_;
    std::int32_t lastSelect_ = 0;
    std::int32_t lastMyStorageSelect_ = -1;
    bool dialogOpen_ = false;
    bool census_ = false;
    double realSize_ = 0;
    double myStorageRealSize_ = 0;
    int maxFileCount_ = kDefaultMaxFileCount;
    std::string musicListText_;
    // What the person picked in this control's dialogs.
    PickedPlaces places_{services_.realPlace};
    // A name was refused while filling a record: the selection is put back.
    bool nameRefused_ = false;
};

// The pieces of a path as the control splits it: the parent (up to and
// including the last separator) and the name; nothing when there is no
// separator after the first character.
std::optional<std::pair<std::string, std::string>> splitPath(const std::string& path);

// Music list records ("YNa.mp3:**:NNb.mp3"), the last record first. A name
// too long for an entry is left out, never cut, and told in `refused`.
std::vector<handover::MusicListEntry> parseMusicListText(
    const std::string& text, std::vector<std::string>* refused = nullptr);

}  // namespace quenvara::webcontrol
