// The selection dialogs behind ShowSelectDlg, the folder walk with its
// census, and the queries on the current selection.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

#include "common/file_digest.h"
#include "common/folder_entries.h"
#include "common/size_text.h"
#include "platform/path_text.h"
#include "platform/real_path.h"
#include "protocol/record_path.h"
#include "webcontrol/quenvara_upload_control.h"

namespace quenvara::webcontrol {

namespace {

constexpr std::string_view kFolderTitle = "폴더를 선택하세요";

std::optional<double> fileSize(const std::string& path) {
    std::error_code error;
    const auto where = platform::utf8Path(path);
    if (!std::filesystem::is_regular_file(where, error)) {
        return std::nullopt;
    }
    const auto size = std::filesystem::file_size(where, error);
    if (error) {
        return std::nullopt;
    }
    return static_cast<double>(size);
}

std::vector<std::filesystem::directory_entry> entriesOf(const std::string& folder) {
    std::error_code error;
    return sortedEntries(platform::utf8Path(folder), error);
}

std::string nameOf(const std::filesystem::directory_entry& entry) {
    return platform::utf8Text(entry.path().filename());
}

// The root ("/", "C:\") keeps its separator.
std::string withoutTrailingSeparator(std::string path) {
    const std::size_t root = platform::utf8Text(platform::utf8Path(path).root_path()).size();
    while (path.size() > std::max<std::size_t>(root, 1) && record_path::isSeparator(path.back())) {
        path.pop_back();
    }
    return path;
}

}  // namespace

std::optional<std::pair<std::string, std::string>> splitPath(const std::string& path) {
    const auto last = path.find_last_of("/\\");
    if (last == std::string::npos || last == 0) {
        return std::nullopt;
    }
    return std::pair{path.substr(0, last + 1), path.substr(last + 1)};
}

std::string CQuenvaraUploadControlCtrl::limitText() const {
    char text[160];
    std::snprintf(text, sizeof text, "한번에 업로드 할수 있는 목록을 %d 개 이상 만들수 없습니다.\n",
                  maxFileCount_);
    return text;
}

void CQuenvaraUploadControlCtrl::walkFolder(const std::string& folder, Walk& walk, bool census) {
    if (walk.count >= maxFileCount_) {
        return;
    }
    for (const auto& entry : entriesOf(folder)) {
        if (walk.count >= maxFileCount_) {
            walk.count = maxFileCount_ + 1;
            walk.size = 0;
            return;
        }
        std::error_code error;
        // A linked folder is not walked: it may lead in a circle (the
        // uploader's folder expansion follows the same rule).
        if (entry.is_directory(error) && !platform::isLink(entry.path())) {
            walkFolder(platform::utf8Text(entry.path()), walk, census);
            if (walk.count > maxFileCount_) {
                return;
            }
        } else if (entry.is_regular_file(error)) {
            const double size = static_cast<double>(entry.file_size(error));
            ++walk.count;
            walk.size += size;
            if (census) {
                const std::string name = nameOf(entry);
                musicCensus(platform::utf8Text(entry.path()), name, size);
                module_.addFile(name);
            }
        }
    }
}

void CQuenvaraUploadControlCtrl::musicCensus(const std::string& path, const std::string& name,
                                             double size) {
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        return;
    }
    std::string extension = name.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (extension != ".MP3" && extension != ".OGG" && extension != ".WAV" && extension != ".WMA") {
        return;
    }
    const auto digest = fileDigest(platform::utf8Path(path));
    if (!digest) {
        warn(digest.error());
        return;
    }
    // The whole size, also past 2 GiB.
    char count[24];
    std::snprintf(count, sizeof count, "%lld", static_cast<long long>(size));
    module_.addMusic(name + ":**:" + count + ":**:" + *digest);
}

template <class Record>
bool CQuenvaraUploadControlCtrl::fillFolderItem(Record& record, UserValueBlock& block,
                                                const std::string& rawPath, std::int32_t tag,
                                                bool checkLimit, bool setRealSize,
                                                double& realSize) {
    // `rawPath` is a real place (a pick, or a page path resolved inside
    // one): the record names it whole, and every name is its own.
    const std::string path = withoutTrailingSeparator(rawPath);
    if (auto split = splitPath(path)) {
        // A name CP949 cannot carry, or one too long for its field, is
        // refused, never mangled or cut.
        for (const auto& st :
             {record.setParentFolder(split->first), record.setFolderName(split->second),
              record.setItemName(split->second)}) {
            if (!st) {
                warn(path + ": " + st.error());
                nameRefused_ = true;
                return false;
            }
        }
    }
    Walk walk;
    walkFolder(path, walk, census_);
    if (checkLimit && walk.count >= maxFileCount_) {
        record = Record{};
        block = UserValueBlock{};
        warn(limitText(), platform::NoticeIcon::Information);
        return false;
    }
    record.setItemSize(walk.size);
    block.setSizeCopy(walk.size);
    if (setRealSize) {
        realSize = walk.size;
    }
    record.setItemKind(ItemKind::Folder);
    record.setRecordTag(tag);
    if (auto st = block.setItemNameCopy(record.itemName()); !st) {
        warn(path + ": " + st.error());
        nameRefused_ = true;
        return false;
    }
    block.setFolderFlag('Y');
    return true;
}

template <class Record>
bool CQuenvaraUploadControlCtrl::fillFileItem(Record& record, UserValueBlock& block,
                                              const std::string& path, std::int32_t tag,
                                              std::int32_t userCopy, double& realSize) {
    const auto split = splitPath(path);
    if (!split) {
        return false;
    }
    const auto size = fileSize(path);
    if (!size) {
        return false;
    }
    // Checked on copies first: a refused name leaves the record as it was.
    Record filled = record;
    UserValueBlock values = block;
    for (const auto& st : {filled.setParentFolder(split->first), filled.setItemName(split->second),
                           filled.setServerFolderPath(""), values.setItemNameCopy(split->second)}) {
        if (!st) {
            warn(path + ": " + st.error());
            nameRefused_ = true;
            return false;
        }
    }
    record = filled;
    block = values;
    record.setItemSize(*size);
    block.setSizeCopy(*size);
    realSize = *size;
    record.setRecordTag(tag);
    record.setItemKind(ItemKind::SingleFile);
    record.setUserNumberCopy(userCopy);
    block.setFolderFlag('N');
    return true;
}

template bool CQuenvaraUploadControlCtrl::fillFolderItem(UploadJobRecord&, UserValueBlock&,
                                                         const std::string&, std::int32_t, bool,
                                                         bool, double&);
template bool CQuenvaraUploadControlCtrl::fillFolderItem(MyStorageJobRecord&, UserValueBlock&,
                                                         const std::string&, std::int32_t, bool,
                                                         bool, double&);
template bool CQuenvaraUploadControlCtrl::fillFileItem(UploadJobRecord&, UserValueBlock&,
                                                       const std::string&, std::int32_t,
                                                       std::int32_t, double&);
template bool CQuenvaraUploadControlCtrl::fillFileItem(MyStorageJobRecord&, UserValueBlock&,
                                                       const std::string&, std::int32_t,
                                                       std::int32_t, double&);

CQuenvaraUploadControlCtrl::Selection CQuenvaraUploadControlCtrl::saveSelection() const {
    return {upload_,     uploadValues_,        myStorage_, myStorageValues_,   area_,
            lastSelect_, lastMyStorageSelect_, realSize_,  myStorageRealSize_, module_.contents()};
}

void CQuenvaraUploadControlCtrl::restoreSelection(const Selection& saved) {
    upload_ = saved.upload;
    uploadValues_ = saved.uploadValues;
    myStorage_ = saved.myStorage;
    myStorageValues_ = saved.myStorageValues;
    area_ = saved.area;
    lastSelect_ = saved.lastSelect;
    lastMyStorageSelect_ = saved.lastMyStorageSelect;
    realSize_ = saved.realSize;
    myStorageRealSize_ = saved.myStorageRealSize;
    module_.restore(saved.module);
}

std::optional<std::string> CQuenvaraUploadControlCtrl::remember(const std::string& chosen) {
    auto real = places_.remember(chosen);
    if (!real) {
        warn(real.error());
        return std::nullopt;
    }
    return *real;
}

template <class Record>
bool CQuenvaraUploadControlCtrl::builtInsidePicks(const Record& record) const {
    if (record.itemNameBytes().empty() && record.parentFolderBytes().empty() &&
        record.folderNameBytes().empty()) {
        return true;  // nothing chosen: nothing goes out
    }
    if (!places_.holds(record.localPath())) {
        return false;
    }
    // The uploader walks a folder item from its folder name, the list
    // comes from its item name: both must be inside.
    return record.itemKind() != static_cast<std::int32_t>(ItemKind::Folder) ||
           places_.holds(record.folderPath());
}

template bool CQuenvaraUploadControlCtrl::builtInsidePicks(const UploadJobRecord&) const;
template bool CQuenvaraUploadControlCtrl::builtInsidePicks(const MyStorageJobRecord&) const;

std::string CQuenvaraUploadControlCtrl::ShowSelectDlg(std::int32_t nSelect) {
    if (!uploadMode() && !myStorageMode()) {
        return "";
    }
    const auto saved = saveSelection();
    nameRefused_ = false;
    auto chosen = uploadMode() ? selectUpload(nSelect) : selectMyStorage(nSelect);
    if (nameRefused_) {
        // Refused half-way: the selection stays as it was, whole.
        nameRefused_ = false;
        restoreSelection(saved);
        return "";
    }
    return chosen;
}

std::string CQuenvaraUploadControlCtrl::selectUpload(std::int32_t nSelect) {
    module_.resetForSelection(maxFileCount_);
    census_ = true;
    dialogOpen_ = true;
    lastSelect_ = nSelect;
    struct Closing {
        CQuenvaraUploadControlCtrl& control;
        ~Closing() {
            control.census_ = false;
            control.dialogOpen_ = false;
        }
    } closing{*this};

    // Every record and area is built from the real place of what was
    // picked, which is also what the page gets back.
    switch (nSelect) {
        case 1: {
            const auto chosen = services_.dialogs.browseFolder(kFolderTitle);
            upload_ = UploadJobRecord{};
            uploadValues_ = UserValueBlock{};
            const auto real = chosen ? remember(*chosen) : std::nullopt;
            if (!real || !fillFolderItem(upload_, uploadValues_, *real, 4, true, true, realSize_)) {
                return "";
            }
            return *real;
        }
        case 2: {
            const auto chosen = services_.dialogs.openFile("퀜바라 업로드 파일 선택");
            const auto real = chosen ? remember(*chosen) : std::nullopt;
            if (!real) {
                return "";
            }
            upload_ = UploadJobRecord{};
            uploadValues_ = UserValueBlock{};
            if (!fillFileItem(upload_, uploadValues_, *real, 4, 1, realSize_)) {
                return "";
            }
            const std::string name = upload_.itemName();
            musicCensus(*real, name, upload_.itemSize());
            module_.addFile(name);
            return *real;
        }
        case 3: {
            area_ = PageListArea{};
            const auto chosen = services_.dialogs.browseFolder(kFolderTitle);
            const auto real = chosen ? remember(*chosen) : std::nullopt;
            if (!real) {
                return "";
            }
            const std::string path = withoutTrailingSeparator(*real);
            const auto split = splitPath(path);
            area_.name = split ? split->second : path;
            Walk walk;
            walkFolder(path, walk, census_);
            if (walk.count >= maxFileCount_) {
                area_ = PageListArea{};
                warn(limitText(), platform::NoticeIcon::Information);
                return "";
            }
            area_.size = walk.size;
            realSize_ = walk.size;
            area_.parent = split ? split->first : "";
            area_.kind = 1;
            return *real;
        }
        case 4: {
            const auto chosen = services_.dialogs.openFile("퀜바라 파일 선택");
            const auto real = chosen ? remember(*chosen) : std::nullopt;
            if (!real) {
                return "";
            }
            area_ = PageListArea{};
            const auto split = splitPath(*real);
            const auto size = fileSize(*real);
            if (!split || !size) {
                return "";
            }
            area_.size = *size;
            realSize_ = *size;
            area_.parent = split->first;
            area_.name = split->second;
            area_.kind = 2;
            return split->first;
        }
        case 5: {
            const auto chosen = services_.dialogs.browseFolder("");
            const auto real = chosen ? remember(*chosen) : std::nullopt;
            return real.value_or("");
        }
        default:
            return "";
    }
}

std::string CQuenvaraUploadControlCtrl::selectMyStorage(std::int32_t nSelect) {
    lastMyStorageSelect_ = nSelect;
    dialogOpen_ = true;
    struct Closing {
        bool& open;
        ~Closing() { open = false; }
    } closing{dialogOpen_};

    if (nSelect == 1) {
        myStorage_ = MyStorageJobRecord{};
        myStorageValues_ = UserValueBlock{};
        const auto chosen = services_.dialogs.browseFolder(kFolderTitle);
        const auto real = chosen ? remember(*chosen) : std::nullopt;
        if (!real) {
            return "";
        }
        const std::string path = withoutTrailingSeparator(*real);
        Walk walk;
        walkFolder(path, walk, false);
        // A walk cut short at a maximum below 1000 leaves no true size:
        // refused too, rather than taken with a size of 0.
        if (walk.count > 999 || walk.count > maxFileCount_) {
            myStorage_ = MyStorageJobRecord{};
            myStorageValues_ = UserValueBlock{};
            warn(walk.count > 999 ? "한번에 업로드 할수 있는 목록을 1000개 이상 만들수 없습니다.\n"
                                  : limitText(),
                 platform::NoticeIcon::Information);
            return "";
        }
        if (!fillFolderItem(myStorage_, myStorageValues_, path, 3, false, true,
                            myStorageRealSize_)) {
            return "";
        }
        return *real;
    }
    if (nSelect == 2) {
        const auto chosen = services_.dialogs.openFile("내자료실 파일 선택");
        const auto real = chosen ? remember(*chosen) : std::nullopt;
        if (!real) {
            return "";
        }
        myStorage_ = MyStorageJobRecord{};
        myStorageValues_ = UserValueBlock{};
        if (!fillFileItem(myStorage_, myStorageValues_, *real, 4, 0, myStorageRealSize_)) {
            return "";
        }
        return *real;
    }
    return "";
}

std::string CQuenvaraUploadControlCtrl::GetFileName() const {
    if (uploadMode()) {
        if (lastSelect_ == 1 || lastSelect_ == 2) {
            return upload_.itemName();
        }
        if (lastSelect_ == 3 || lastSelect_ == 4) {
            return area_.name;
        }
        return "";
    }
    if (myStorageMode() && (lastMyStorageSelect_ == 1 || lastMyStorageSelect_ == 2)) {
        return myStorage_.itemName();
    }
    return "";
}

std::string CQuenvaraUploadControlCtrl::GetFileSize() const {
    if (uploadMode()) {
        if (lastSelect_ == 1 || lastSelect_ == 2) {
            return sizeText(upload_.itemSize());
        }
        if (lastSelect_ == 3 || lastSelect_ == 4) {
            return sizeText(area_.size);
        }
        return "";
    }
    if (myStorageMode()) {
        return sizeText(myStorage_.itemSize());
    }
    return "";
}

double CQuenvaraUploadControlCtrl::GetRealFileSize() const {
    if (uploadMode()) {
        return realSize_;
    }
    if (myStorageMode()) {
        return myStorageRealSize_;
    }
    return 0;
}

std::string CQuenvaraUploadControlCtrl::GetFileList() const {
    std::string folder;
    if (uploadMode()) {
        folder = upload_.localPath();
        if (upload_.itemKind() != static_cast<std::int32_t>(ItemKind::Folder)) {
            return "";
        }
    } else if (myStorageMode()) {
        folder = myStorage_.localPath();
        if (myStorage_.itemKind() != static_cast<std::int32_t>(ItemKind::Folder)) {
            return "";
        }
    } else {
        return "";
    }
    // Only a folder inside what the person picked is ever listed.
    if (!places_.holds(folder)) {
        return "";
    }
    std::string list;
    for (const auto& entry : entriesOf(folder)) {
        std::error_code error;
        const std::string name = nameOf(entry);
        if (entry.is_directory(error)) {
            list += "/1|" + name;
        } else {
            list += "/2|" + name;
        }
    }
    return list.empty() ? list : list.substr(1);
}

bool CQuenvaraUploadControlCtrl::CheckUploadFileSize(const std::string& path) const {
    // Never a probe for files the person did not pick: the text is read
    // without a look at the disk unless it names a place inside a pick.
    const auto place = path.empty() ? std::nullopt : places_.resolve(path);
    if (!place || place->type != std::filesystem::file_type::regular) {
        return false;
    }
    const auto size = fileSize(place->real);
    return size && *size == GetRealFileSize();
}

}  // namespace quenvara::webcontrol
