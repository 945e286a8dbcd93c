#include "uploader/transfer/folder_expansion.h"

#include "common/cp949.h"
#include "common/folder_entries.h"
#include "common/regular_file.h"
#include "platform/path_text.h"
#include "platform/real_path.h"
#include "protocol/record_path.h"

namespace quenvara::uploader {

template <class Record>
struct FolderExpansion::Walk {
    const Record& tmpl;
    std::string root;  // the folder's real place
    std::string base;  // the root's parent, ending in '/'
    std::string displayText;
    int counter = 0;
    Outcome<Record>& outcome;
    std::vector<std::string> nonFiles;
};

FolderExpansion::Outcome<UploadJobRecord> FolderExpansion::expand(const UploadJobRecord& item) {
    return run(item);
}

FolderExpansion::Outcome<MyStorageJobRecord> FolderExpansion::expand(
    const MyStorageJobRecord& item) {
    return run(item);
}

template <class Record>
FolderExpansion::Outcome<Record> FolderExpansion::run(const Record& folderItem) {
    Outcome<Record> outcome;
    std::string root = folderItem.folderPath();
    if (root.size() > 1 && root.back() == '/') {
        root.pop_back();
    }
    if (auto plain = record_path::checkPlain(root); !plain) {
        outcome.failure = plain.error();
        return outcome;
    }
    // The folder handed over must still be where it was: a folder swapped
    // for a link would lead the walk somewhere the person never chose.
    std::error_code error;
    if (const auto real = platform::realPath(platform::utf8Path(root), error);
        !error && !platform::samePath(real, platform::utf8Path(root))) {
        outcome.failure =
            root + ": 선택한 폴더가 다른 곳을 가리키는 링크로 바뀌어 올리지 않습니다.";
        return outcome;
    }
    // Display text: the template's parent folder, at most 255 bytes (the
    // field's room, as the service expects it).
    const auto parentBytes = folderItem.parentFolderBytes();
    Walk<Record> w{folderItem,
                   root,
                   root.substr(0, root.rfind('/') + 1),
                   parentBytes.substr(0, cp949::prefixLength(parentBytes, 255)),
                   0,
                   outcome,
                   {}};
    walk(root, w);
    if (!w.nonFiles.empty()) {
        std::string text;
        for (const auto& reason : w.nonFiles) {
            text += (text.empty() ? "" : "\n") + reason;
        }
        report_(text);
    }
    if (w.counter >= kFolderFileLimit) {
        outcome.refused = true;
        outcome.records.clear();
        outcome.modified.clear();
        outcome.leftOut.clear();
        return outcome;
    }
    auto& records = outcome.records;
    if (records.empty()) {
        return outcome;
    }
    // Group marks: the last record carries the user number; my-storage
    // records also mark the first (2) and the last (1) of the group.
    auto& last = records.back();
    last.setUserNumberCopy(last.userValues().userNumber());
    if constexpr (!Record::Layout::kHasMusicFields) {
        records.front().setGroupPosition(2);
        if (records.size() >= 2) {
            last.setGroupPosition(1);
        }
    }
    return outcome;
}

template <class Record>
void FolderExpansion::walk(const std::string& folder, Walk<Record>& w) {
    std::error_code error;
    const auto entries = sortedEntries(platform::utf8Path(folder), error);
    if (error) {
        report_(folder + ": " + error.message());
        if (entries.empty()) {
            return;
        }
    }
    for (const auto& entry : entries) {
        const std::string name = platform::utf8Text(entry.path().filename());
        const std::string full = folder + "/" + name;
        const auto status = entry.symlink_status(error);
        // (On Windows a junction or link reads as what it leads to: the
        // platform tells it.)
        const bool link = std::filesystem::is_symlink(status) || platform::isLink(entry.path());
        if (std::filesystem::is_directory(status) && !link) {
            walk(full, w);
            continue;
        }
        if (link) {
            // A link to a folder is not followed (it could lead in a
            // circle); one to a file is kept only when the file lies inside.
            const auto real = platform::realPath(platform::utf8Path(full), error);
            if (!error && std::filesystem::is_directory(real, error)) {
                w.nonFiles.push_back(notRegularFileReason(platform::utf8Path(full)));
                continue;
            }
            if (error || !std::filesystem::is_regular_file(real, error) ||
                !record_path::isInside(platform::utf8Text(real), w.root)) {
                w.outcome.leftOut.push_back(
                    {name, folder + "/", 0,
                     full + ": 선택한 폴더 밖이나 없는 곳을 가리키는 링크여서 올리지 않습니다."});
                continue;
            }
        } else if (!std::filesystem::is_regular_file(status)) {
            if (auto reason = notRegularFileReason(platform::utf8Path(full)); !reason.empty()) {
                w.nonFiles.push_back(std::move(reason));
            }
            continue;
        }
        if (w.counter > kFolderFileLimit - 1) {
            return;
        }
        addFile(folder, name, w);
    }
}

template <class Record>
void FolderExpansion::addFile(const std::string& folder, const std::string& name, Walk<Record>& w) {
    const std::string full = folder + "/" + name;
    std::error_code sizeError;
    const auto bytes = std::filesystem::file_size(platform::utf8Path(full), sizeError);
    const double size = sizeError ? 0 : static_cast<double>(bytes);
    const auto leaveOut = [&](const std::string& why) {
        w.outcome.leftOut.push_back({name, folder + "/", size, full + ": " + why});
    };
    // The records read '\' as a separator: such a name would name another
    // file.
    if (!record_path::isCarriableName(name)) {
        leaveOut("이름에 '\\' 가 있어 올릴 수 없습니다.");
        return;
    }
    Record r = w.tmpl;
    auto values = r.userValues();
    (void)values.setDisplayTextBytes(w.displayText);  // fits: cut to the field above
    r.setUserValues(values);
    r.setUserNumberCopy(0);
    r.setItemKind(ItemKind::Folder);
    r.setRecordTag(Record::kRecordTagValue);
    r.setItemSize(size);
    // A name CP949 cannot express, or a path too long for its field, is
    // refused with the reason: never mangled or cut into another file's.
    // The parent is written as the system writes paths, as the control
    // writes the folder item's.
    for (const auto& status :
         {r.setParentFolder(record_path::systemSeparators(folder + "/")), r.setItemName(name)}) {
        if (!status) {
            leaveOut(status.error());
            return;
        }
    }
    // Server folder: below the template's, the folder relative to the
    // root's parent with the top folder's name replaced by the group text.
    std::string sub = folder.substr(w.base.size());
    const auto first = sub.find('/');
    sub = first == std::string::npos ? std::string() : sub.substr(first);
    const auto subBytes = cp949::fromUtf8(sub);
    if (!subBytes) {
        leaveOut(subBytes.error());
        return;
    }
    const std::string serverPath =
        w.tmpl.serverFolderPathBytes() + "/" + values.folderGroupTextBytes() + *subBytes;
    if (!r.setServerFolderPathBytes(serverPath)) {
        leaveOut(
            "서버 폴더 경로가 " +
            tooLongText(serverPath.size(), Record::textRoom(Record::Layout::kServerFolderPath)));
        return;
    }
    if constexpr (Record::Layout::kHasMusicFields) {
        if (r.fileDigest().empty()) {
            if (auto digest = digest_(platform::utf8Path(full), platform::utf8Path(w.root));
                !digest) {
                report_(digest.error());
            } else if (!r.setFileDigest(*digest)) {
                report_(full + ": " + tooLongText(digest->size(), 37));
            }
        }
    }
    ++w.counter;
    w.outcome.records.push_back(r);
    w.outcome.modified.push_back(modifiedTime(platform::utf8Path(full)));
}

}  // namespace quenvara::uploader
