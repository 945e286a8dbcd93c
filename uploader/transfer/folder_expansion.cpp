#include "uploader/transfer/folder_expansion.h"

#include <sys/stat.h>

#include "common/cp949.h"
#include "common/regular_file.h"

namespace quenvara::uploader {
namespace {

std::string collapseDoubled(std::string text) {
    for (char& c : text) {
        if (c == '\\') {
            c = '/';
        }
    }
    for (std::size_t at; (at = text.find("//")) != std::string::npos;) {
        text.erase(at, 1);
    }
    return text;
}

}  // namespace

template <class Record>
std::string FolderExpansion::folderPath(const Record& folderItem) {
    return collapseDoubled(folderItem.parentFolder() + "/" + folderItem.folderName());
}

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
    int counter = 0;
    walk(folderPath(folderItem), folderItem.parentFolder(), folderItem, counter, outcome.records);
    if (counter >= kFolderFileLimit) {
        outcome.refused = true;
        outcome.records.clear();
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
void FolderExpansion::walk(const std::filesystem::path& folder, const std::string& base,
                           const Record& tmpl, int& counter, std::vector<Record>& out) {
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    if (ec) {
        report_(folder.string() + ": " + ec.message());
        return;
    }
    // Display text: the template's parent folder, at most 255 bytes.
    const auto parentBytes = tmpl.parentFolderBytes();
    const auto displayText = parentBytes.substr(0, cp949::prefixLength(parentBytes, 255));
    // Advanced by hand: a read error mid-folder is reported, not thrown.
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (ec) {
            report_(folder.string() + ": " + ec.message());
            return;
        }
        const auto& entry = *it;
        const std::string full = entry.path().string();
        std::string relative = full.starts_with(base) ? full.substr(base.size()) : full;
        relative = collapseDoubled(relative);
        const auto status = entry.symlink_status(ec);
        if (std::filesystem::is_directory(status)) {
            // A link to a folder is not followed: it could lead in a circle.
            walk(entry.path(), base, tmpl, counter, out);
            continue;
        }
        if (!entry.is_regular_file(ec)) {
            if (const auto reason = notRegularFileReason(full); !reason.empty()) {
                report_(reason);
            }
            continue;
        }
        if (counter > kFolderFileLimit - 1) {
            return;
        }
        ++counter;
        Record r = tmpl;
        auto values = r.userValues();
        values.setDisplayTextBytes(displayText);
        r.setUserValues(values);
        r.setUserNumberCopy(0);
        r.setItemKind(ItemKind::Folder);
        r.setRecordTag(Record::kRecordTagValue);
        struct stat st {};
        if (::stat(full.c_str(), &st) == 0) {
            r.setItemSize(static_cast<double>(st.st_size));
        }
        const auto slash = full.rfind('/');
        const std::string name = full.substr(slash + 1);
        // Names CP949 cannot express are refused with the reason; the file
        // is left out rather than sent under a mangled name.
        auto parentStatus = r.setParentFolder(full.substr(0, slash + 1));
        auto nameStatus = r.setItemName(name);
        if (!parentStatus || !nameStatus) {
            report_(full + ": " + (parentStatus ? nameStatus : parentStatus).error());
            --counter;
            continue;
        }
        // Server folder: below the template's, the relative folder with the
        // top folder's name replaced by the group text.
        std::string sub = relative;
        if (auto first = sub.find('/'); first != std::string::npos) {
            sub = sub.substr(first);
        } else {
            sub.clear();
        }
        if (sub.ends_with("/" + name)) {
            sub.resize(sub.size() - name.size() - 1);
        }
        auto subBytes = cp949::fromUtf8(sub);
        r.setServerFolderPathBytes(tmpl.serverFolderPathBytes() + "/" +
                                   values.folderGroupTextBytes() + (subBytes ? *subBytes : ""));
        if constexpr (Record::Layout::kHasMusicFields) {
            if (r.fileDigest().empty()) {
                if (auto digest = digest_(full)) {
                    r.setFileDigest(*digest);
                } else {
                    report_(digest.error());
                }
            }
        }
        out.push_back(r);
    }
}

template std::string FolderExpansion::folderPath(const UploadJobRecord&);
template std::string FolderExpansion::folderPath(const MyStorageJobRecord&);

}  // namespace quenvara::uploader
