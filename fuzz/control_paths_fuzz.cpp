// The control's path members driven by a page that wants out: after the
// person picked one folder, random sequences of SetUpValue ("폴더경로",
// "파일경로"), CheckUploadFileSize, GetFileList and GetFileName with texts
// from a grammar of dots, backslashes, links, padding near every field size
// and odd names. After every call the records the control would hand over,
// read by the uploader's separator rule, and every answer must lie inside
// the pick. The check is written here, apart from the control's own.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "control_stubs.h"
#include "handover_client/pipe_list_writer.h"
#include "webcontrol/dispatch_table.h"

namespace {

namespace fs = std::filesystem;
using namespace quenvara;

using fuzzing::NoLauncher;
using fuzzing::NoProcesses;
using fuzzing::NoWaitClock;
struct SilentNotices final : platform::Notices {
    platform::NoticeAnswer messageBox(std::string_view, std::string_view, platform::NoticeButtons,
                                      platform::NoticeIcon) override {
        return platform::NoticeAnswer::Ok;
    }
    void autoClosingBox(std::string_view, std::string_view, int) override {}
};
struct AlwaysPick final : platform::FileDialogs {
    std::optional<std::string> browseFolder(std::string_view) override { return pick; }
    std::optional<std::string> openFile(std::string_view) override { return pick + "/a.txt"; }
    std::string pick;
};

// The tree the person's pick lies in, made once: links in and out, a name
// with a backslash, names that look like dots, Hangul.
struct Tree {
    Tree() {
        char pattern[] = "/tmp/qvf-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) {
            std::abort();
        }
        root = fs::canonical(pattern).string();
        pick = root + "/pick";
        const auto write = [](const fs::path& p, const std::string& text) {
            fs::create_directories(p.parent_path());
            std::FILE* f = std::fopen(p.c_str(), "wb");
            std::fwrite(text.data(), 1, text.size(), f);
            std::fclose(f);
        };
        write(pick + "/a.txt", "a");
        write(pick + "/sub/b.txt", "bb");
        write(pick + "/sub/deeper/c.txt", "ccc");
        write(pick + "/odd\\name/d.txt", "d");
        write(pick + "/.../e.txt", "e");
        write(pick + "/가나다/f.txt", "f");
        write(root + "/secret/id_key", "private");
        write(root + "/secret/x/y", "more");
        write(root + "/pick-not/z.txt", "z");
        fs::create_symlink(pick + "/a.txt", pick + "/link-in");
        fs::create_symlink(root + "/secret/id_key", pick + "/link-out");
        fs::create_directory_symlink(root + "/secret", pick + "/dir-out");
        fs::create_directory_symlink(pick + "/sub", pick + "/dir-in");
    }
    std::string root;
    std::string pick;
};

const Tree& tree() {
    static const Tree t;
    return t;
}

// The uploader's reading of a record path: both separators, runs as one.
std::string uploaderReading(const std::string& path) {
    std::string out;
    for (const char c : path) {
        const char d = c == '\\' ? '/' : c;
        if (d != '/' || out.empty() || out.back() != '/') {
            out += d;
        }
    }
    while (out.size() > 1 && out.back() == '/') {
        out.pop_back();
    }
    return out;
}

bool insidePick(const std::string& path) {
    const std::string& pick = tree().pick;
    const std::string p = uploaderReading(path);
    if (!(p == pick || p.rfind(pick + "/", 0) == 0)) {
        return false;
    }
    for (std::size_t start = 0; start <= p.size();) {
        const auto end = std::min(p.find('/', start), p.size());
        const auto part = p.substr(start, end - start);
        if (part == "." || part == "..") {
            return false;
        }
        start = end + 1;
    }
    // Where it exists, its real place too.
    std::error_code error;
    const auto real = fs::canonical(p, error);
    return error || real.string() == pick || real.string().rfind(pick + "/", 0) == 0;
}

[[noreturn]] void finding(const std::string& what, const std::string& path) {
    std::fprintf(stderr, "outside the pick: %s: %s\n", what.c_str(), path.c_str());
    std::abort();
}

template <class Record>
void checkRecord(const char* which, const Record& r) {
    if (r.itemNameBytes().empty() && r.folderNameBytes().empty()) {
        return;
    }
    const std::string parent = r.parentFolder();
    if (!insidePick(parent + "/" + r.itemName())) {
        finding(std::string(which) + " record (parent + item name)", parent + "|" + r.itemName());
    }
    if (r.itemKind() == 1 && !insidePick(parent + "/" + r.folderName())) {
        finding(std::string(which) + " record (parent + folder name)",
                parent + "|" + r.folderName());
    }
}

std::string text(FuzzedDataProvider& in) {
    static const char* const tokens[] = {
        "/",
        "\\",
        ".",
        "..",
        "//",
        "sub",
        "a.txt",
        "secret",
        "id_key",
        "nothing",
        "link-in",
        "link-out",
        "dir-out",
        "dir-in",
        "odd\\name",
        "...",
        "가나다",
        "\xEA\xB0",
        "\xF0\x9F\x98\x80",
        "/etc",
        "deeper",
        "x",
        "pick-not",
        "c.txt",
        "/./",
        "/../",
    };
    constexpr std::size_t kTokens = sizeof tokens / sizeof tokens[0];
    std::string out;
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
            out = tree().pick;
            break;
        case 1:
            out = tree().root;
            break;
        case 2:
            out = tree().pick + "/";
            break;
        default:
            break;
    }
    const int parts = in.ConsumeIntegralInRange<int>(0, 24);
    for (int i = 0; i < parts && in.remaining_bytes() > 0; ++i) {
        const auto pick = in.ConsumeIntegralInRange<std::size_t>(0, kTokens + 2);
        if (pick < kTokens) {
            out += tokens[pick];
        } else if (pick == kTokens) {
            // Padding that lands near a field's size: 255, 256, 511, 512.
            static const int sizes[] = {255, 256, 511, 512, 1024};
            const int target =
                sizes[in.ConsumeIntegralInRange<int>(0, 4)] + in.ConsumeIntegralInRange<int>(-3, 3);
            while (static_cast<int>(out.size()) < target) {
                out += in.ConsumeBool() ? "/." : "x";
            }
        } else {
            out += std::string(in.ConsumeIntegralInRange<std::size_t>(1, 40), '/');
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    NoWaitClock clock;
    NoProcesses processes;
    NoLauncher launcher;
    AlwaysPick dialogs;
    dialogs.pick = tree().pick;
    SilentNotices notices;
    platform::EnvLookup env = [](const char*) -> std::optional<std::string> {
        return "/nonexistent-quenvara-fuzz";
    };
    handover::PipeListWriter writer(notices, clock, [](std::string_view name) {
        return fs::path("/nonexistent-quenvara-fuzz") / std::string(name);
    });
    webcontrol::ControlModule module(writer);
    webcontrol::CQuenvaraUploadControlCtrl control(
        webcontrol::ControlServices{notices, clock, processes, launcher, dialogs, env,
                                    "/nonexistent-quenvara-fuzz"},
        module);
    using webcontrol::ControlValue;
    const auto call = [&](std::string_view member, std::vector<ControlValue> args) {
        auto result = webcontrol::invoke(control, member, args);
        return result ? *result : ControlValue{};
    };
    call("ShowSelectDlg", {1});
    while (in.remaining_bytes() > 0) {
        const int op = in.ConsumeIntegralInRange<int>(0, 6);
        if (op <= 1) {
            call("SetUpValue", {std::string(op == 0 ? "폴더경로" : "파일경로"), text(in)});
        } else if (op == 2) {
            const std::string path = text(in);
            const auto answer = call("CheckUploadFileSize", {path});
            if (answer == ControlValue{true} && !insidePick(path)) {
                finding("CheckUploadFileSize answered true", path);
            }
        } else if (op == 3) {
            const auto name = call("GetFileName", {});
            if (const auto* s = std::get_if<std::string>(&name);
                s != nullptr && (*s == "." || *s == ".." || s->find('/') != std::string::npos)) {
                finding("GetFileName", *s);
            }
        } else if (op == 4) {
            call("GetFileList", {});
        } else if (op == 5) {
            call("nUpActiveType", {in.ConsumeBool() ? 1 : 0});
        } else {
            call("ShowSelectDlg", {in.ConsumeBool() ? 1 : 2});
        }
        checkRecord("upload", control.uploadRecord());
        checkRecord("my-storage", control.myStorageRecord());
    }
    return 0;
}
