// The selection dialogs behind ShowSelectDlg, the folder walk with its
// census, and the queries on the current selection.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

#include "common/file_digest.h"
#include "common/size_text.h"
#include "webcontrol/quenvara_upload_control.h"

namespace quenvara::webcontrol {

namespace {

constexpr std::string_view kFolderTitle = "폴더를 선택하세요";
constexpr char kSeparator = '/';

std::optional<double> fileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    return static_cast<double>(st.st_size);
}

// A folder's entries in name order, ignoring ASCII case: the order the
// original's file system listed them in, and the same on every machine.
std::vector<std::filesystem::directory_entry> entriesOf(const std::filesystem::path& folder) {
    std::vector<std::filesystem::directory_entry> entries;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        entries.push_back(*it);
    }
    auto key = [](const std::filesystem::directory_entry& e) {
        std::string name = e.path().filename().string();
        std::string folded = name;
        std::transform(folded.begin(), folded.end(), folded.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        return std::pair{folded, name};
    };
    std::sort(entries.begin(), entries.end(),
              [&](const auto& a, const auto& b) { return key(a) < key(b); });
    return entries;
}

std::string withoutTrailingSeparator(std::string path) {
    while (path.size() > 1 && path.back() == kSeparator) {
        path.pop_back();
    }
    return path;
}

}  // namespace

std::optional<std::pair<std::string, std::string>> splitPath(const std::string& path) {
    const auto last = path.rfind(kSeparator);
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

void CQuenvaraUploadControlCtrl::walkFolder(const std::filesystem::path& folder, Walk& walk,
                                            bool census) {
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
        if (entry.is_directory(error) && !entry.is_symlink(error)) {
            walkFolder(entry.path(), walk, census);
            if (walk.count > maxFileCount_) {
                return;
            }
        } else if (entry.is_regular_file(error)) {
            const double size = static_cast<double>(entry.file_size(error));
            ++walk.count;
            walk.size += size;
            if (census) {
                const std::string name = entry.path().filename().string();
                musicCensus(entry.path(), name, size);
                module_.addFile(name);
            }
        }
    }
}

void CQuenvaraUploadControlCtrl::musicCensus(const std::filesystem::path& path,
                                             const std::string& name, double size) {
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
    const auto digest = fileDigest(path);
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
    const std::string path = withoutTrailingSeparator(rawPath);
    if (auto split = splitPath(path)) {
        // A name CP949 cannot carry is refused, never mangled.
        if (auto st = record.setParentFolder(split->first); !st) {
            warn(st.error());
            nameRefused_ = true;
            return false;
        }
        std::error_code error;
        if (std::filesystem::exists(path, error)) {
            if (auto st = record.setFolderName(split->second); !st) {
                warn(st.error());
                nameRefused_ = true;
                return false;
            }
            (void)record.setItemName(split->second);
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
    (void)block.setItemNameCopy(record.itemName());
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
    if (auto st = record.setParentFolder(split->first); !st) {
        warn(st.error());
        nameRefused_ = true;
        return false;
    }
    if (auto st = record.setItemName(split->second); !st) {
        warn(st.error());
        nameRefused_ = true;
        return false;
    }
    record.setItemSize(*size);
    block.setSizeCopy(*size);
    realSize = *size;
    (void)record.setServerFolderPath("");
    record.setRecordTag(tag);
    record.setItemKind(ItemKind::SingleFile);
    record.setUserNumberCopy(userCopy);
    (void)block.setItemNameCopy(split->second);
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

void CQuenvaraUploadControlCtrl::remember(const std::string& path) {
    std::error_code error;
    auto real = std::filesystem::canonical(path, error);
    if (!error) {
        picked_.push_back(std::move(real));
    }
}

bool CQuenvaraUploadControlCtrl::picked(const std::string& path) const {
    // Links and ".." are resolved first: the real place must be inside. A
    // missing file inside a picked folder is still inside (and not found).
    std::error_code error;
    const auto real = std::filesystem::weakly_canonical(path, error);
    if (error) {
        return false;
    }
    for (const auto& p : picked_) {
        const auto [inP, inReal] = std::mismatch(p.begin(), p.end(), real.begin(), real.end());
        if (inP == p.end()) {
            return true;
        }
    }
    return false;
}

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

    switch (nSelect) {
        case 1: {
            const auto chosen = services_.dialogs.browseFolder(kFolderTitle);
            upload_ = UploadJobRecord{};
            uploadValues_ = UserValueBlock{};
            if (!chosen) {
                return "";
            }
            remember(*chosen);
            if (!fillFolderItem(upload_, uploadValues_, *chosen, 4, true, true, realSize_)) {
                return "";
            }
            return *chosen;
        }
        case 2: {
            const auto chosen = services_.dialogs.openFile("퀜바라 업로드 파일 선택");
            if (!chosen) {
                return "";
            }
            remember(*chosen);
            upload_ = UploadJobRecord{};
            uploadValues_ = UserValueBlock{};
            if (!fillFileItem(upload_, uploadValues_, *chosen, 4, 1, realSize_)) {
                return "";
            }
            const std::string name = upload_.itemName();
            musicCensus(*chosen, name, upload_.itemSize());
            module_.addFile(name);
            return *chosen;
        }
        case 3: {
            area_ = PageListArea{};
            const auto chosen = services_.dialogs.browseFolder(kFolderTitle);
            if (!chosen) {
                return "";
            }
            remember(*chosen);
            const std::string path = withoutTrailingSeparator(*chosen);
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
            return *chosen;
        }
        case 4: {
            const auto chosen = services_.dialogs.openFile("퀜바라 파일 선택");
            if (!chosen) {
                return "";
            }
            remember(*chosen);
            area_ = PageListArea{};
            const auto split = splitPath(*chosen);
            const auto size = fileSize(*chosen);
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
            if (chosen) {
                remember(*chosen);
            }
            return chosen.value_or("");
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
        if (!chosen) {
            return "";
        }
        remember(*chosen);
        const std::string path = withoutTrailingSeparator(*chosen);
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
        return *chosen;
    }
    if (nSelect == 2) {
        const auto chosen = services_.dialogs.openFile("내자료실 파일 선택");
        if (!chosen) {
            return "";
        }
        remember(*chosen);
        myStorage_ = MyStorageJobRecord{};
        myStorageValues_ = UserValueBlock{};
        if (!fillFileItem(myStorage_, myStorageValues_, *chosen, 4, 0, myStorageRealSize_)) {
            return "";
        }
        return *chosen;
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
        folder = upload_.parentFolder() + upload_.itemName();
        if (upload_.itemKind() != static_cast<std::int32_t>(ItemKind::Folder)) {
            return "";
        }
    } else if (myStorageMode()) {
        folder = myStorage_.parentFolder() + myStorage_.itemName();
        if (myStorage_.itemKind() != static_cast<std::int32_t>(ItemKind::Folder)) {
            return "";
        }
    } else {
        return "";
    }
    std::string list;
    for (const auto& entry : entriesOf(folder)) {
        std::error_code error;
        const std::string name = entry.path().filename().string();
        if (entry.is_directory(error)) {
            list += "/1|" + name;
        } else {
            list += "/2|" + name;
        }
    }
    return list.empty() ? list : list.substr(1);
}

bool CQuenvaraUploadControlCtrl::CheckUploadFileSize(const std::string& path) const {
    // Never a probe for files the person did not pick.
    if (path.empty() || !picked(path)) {
        return false;
    }
    const auto size = fileSize(path);
    return size && *size == GetRealFileSize();
}

}  // namespace quenvara::webcontrol
