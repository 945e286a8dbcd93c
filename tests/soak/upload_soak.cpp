// Stress run of the transfer engine against the reference service, by hand
// (scripts/soak.sh). Every upload hands over a mix of jobs of one user
// (one to three folders, side by side or in different parents, with files
// of the same relative path; single files before and after them), of one
// kind, and meets one or two of the service's faults at random offsets.
// After the first run every row reading "완료" must have an identical
// stored file; one more start per fault must leave every file stored
// identical. In half
// the uploads one file changes after the hand-over (grows, shrinks, is
// rewritten, deleted, or swapped for a link out of its folder): its row
// must read "오류" with its reason, never "완료", and the rest go on.
//   upload_soak [UPLOADS] [SEED]
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <set>

#include "handover_client/job_builder.h"
#include "protocol/record_path.h"
#include "service/reference_service.h"
#include "tests/uploader/window_harness.h"
#include "uploader/list/job_state.h"
#include "uploader/transfer/c_file_socket.h"

namespace {

using namespace quenvara;
using namespace quenvara::uploader;
using namespace std::chrono_literals;

class AlwaysYes final : public ResumeQuestionDialog {
  public:
    Answer ask(const std::string&) override { return {}; }
};

std::string readAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct LocalFile {
    std::filesystem::path path;
    std::string content;
    // Changed after the hand-over: it must never read "완료".
    bool changed = false;
};

// What a fault needs to know of the upload it is drawn for.
struct Draw {
    std::mt19937_64& gen;
    const std::vector<LocalFile>& files;
    bool myStorage;

    const LocalFile& anyFile() const { return files[gen() % files.size()]; }
    std::string anyName() const { return anyFile().path.filename().string(); }
    // A byte inside a file that has at least two.
    std::optional<std::pair<std::string, std::uint64_t>> anyCut() const {
        for (int tries = 0; tries < 8; ++tries) {
            const auto& f = anyFile();
            if (f.content.size() >= 2) {
                return std::pair{f.path.filename().string(), 1 + gen() % (f.content.size() - 1)};
            }
        }
        return std::nullopt;
    }
};

struct Fault {
    const char* name;
    void (*apply)(service::Faults&, const Draw&);
};

void cut(service::Faults& f, const Draw& d, bool orderly) {
    if (auto c = d.anyCut()) {
        f.cuts.push_back({c->first, c->second, orderly});
    }
}

// Written from the message tables: what a server may say, and when.
const Fault kFaults[] = {
    {"none", [](service::Faults&, const Draw&) {}},
    {"reset at a random byte", [](service::Faults& f, const Draw& d) { cut(f, d, false); }},
    {"several resets in one run",
     [](service::Faults& f, const Draw& d) {
         for (int i = 0; i < 3; ++i) {
             cut(f, d, false);
         }
     }},
    {"FIN at a random byte", [](service::Faults& f, const Draw& d) { cut(f, d, true); }},
    {"FIN after the last byte",
     [](service::Faults& f, const Draw& d) { f.closeUnconfirmed.insert(d.anyName()); }},
    {"error form after a break",
     [](service::Faults& f, const Draw& d) {
         cut(f, d, false);
         f.errorFormAfterBreak = true;
     }},
    {"error form, then the server's 5",
     [](service::Faults& f, const Draw& d) {
         cut(f, d, false);
         f.errorFormAfterBreak = true;
         f.closeAfterErrorForm = true;
     }},
    {"505 during the data",
     [](service::Faults& f, const Draw& d) {
         if (auto c = d.anyCut()) {
             f.pollDuringData = c->second;
         }
     }},
    {"confirmation delayed 3-35 s",
     [](service::Faults& f, const Draw& d) {
         f.confirmDelay = std::chrono::milliseconds(3000 + d.gen() % 32'001);
     }},
    {"resume offset beyond the file",
     [](service::Faults& f, const Draw& d) { f.offsetBeyondEndName = d.anyName(); }},
    {"registration error",
     [](service::Faults& f, const Draw& d) {
         const int numbers[2][2] = {{4001, 4003}, {2001, 2003}};
         f.registerError = numbers[d.myStorage ? 1 : 0][d.gen() % 2];
         f.registerErrorOnce = true;
     }},
    {"header-only poll", [](service::Faults& f, const Draw&) { f.headerOnlyPoll = true; }},
    {"203 after the last byte", [](service::Faults& f, const Draw&) { f.afterData = {203}; }},
    {"505, 508 after the last byte",
     [](service::Faults& f, const Draw&) {
         f.afterData = {505, 508};
     }},
    {"514 after the last byte", [](service::Faults& f, const Draw&) { f.afterData = {514}; }},
    {"514 once", [](service::Faults& f, const Draw&) { f.disconnectOnce = true; }},
    {"506 once", [](service::Faults& f, const Draw&) { f.alreadyConnectedOnce = true; }},
    {"509 same name", [](service::Faults& f, const Draw& d) { f.sameName = d.anyName(); }},
    {"negative offset once", [](service::Faults& f, const Draw&) { f.negativeOffsetOnce = true; }},
    {"unknown packet once", [](service::Faults& f, const Draw&) { f.unknownPacket = 4242; }},
    // Not in the tables: answers sent before the server has the data.
    {"early 5 before the data",
     [](service::Faults& f, const Draw& d) { f.earlyAnswer[d.anyName()] = 5; }},
    {"early 503 before the data",
     [](service::Faults& f, const Draw& d) {
         f.earlyAnswer[d.anyName()] = d.myStorage ? 2006 : 503;
     }},
};

// What happens to a file between its hand-over and its turn.
struct Change {
    const char* name;
    void (*apply)(const LocalFile&, const std::filesystem::path& outside);
};

const Change kChanges[] = {
    {"none", [](const LocalFile&, const std::filesystem::path&) {}},
    {"grown",
     [](const LocalFile& f, const std::filesystem::path&) {
         std::ofstream(f.path, std::ios::binary | std::ios::app) << "grown";
     }},
    {"shrunk",
     [](const LocalFile& f, const std::filesystem::path&) {
         std::filesystem::resize_file(f.path, f.content.size() / 2);
     }},
    {"replaced, same size",
     [](const LocalFile& f, const std::filesystem::path&) {
         std::string other = f.content;
         for (auto& c : other) {
             c = static_cast<char>(c ^ 0x5A);
         }
         std::ofstream(f.path, std::ios::binary | std::ios::trunc) << other;
         std::filesystem::last_write_time(
             f.path, std::filesystem::last_write_time(f.path) + std::chrono::seconds(1));
     }},
    {"deleted",
     [](const LocalFile& f, const std::filesystem::path&) { std::filesystem::remove(f.path); }},
    {"link to a file outside swapped in",
     [](const LocalFile& f, const std::filesystem::path& outside) {
         std::filesystem::remove(f.path);
         std::filesystem::create_symlink(outside, f.path);
     }},
};

struct Tally {
    int uploads = 0;
    int passed = 0;
};

struct Counts {
    int uploads = 0;
    int files = 0;
    int secondStarts = 0;
    double bytes = 0;
    std::map<std::string, Tally> byFault;
    std::map<std::string, Tally> byMix;
    std::map<std::string, Tally> byChange;
    std::vector<std::string> falseDone;
};

std::size_t drawSize(std::mt19937_64& gen) {
    switch (gen() % 10) {
        case 0:
            return 0;
        case 1:
        case 2:
            return gen() % 1025;
        case 3:
            return 1 + gen() % (8 * 1024 * 1024);
        default:
            return 1 + gen() % (300 * 1024);
    }
}

// The files of one folder: a file of the same relative path in every
// folder of the upload, and one to three of its own.
void makeFolder(testing_support::WindowHarness& h, std::mt19937_64& gen, const std::string& folder,
                std::vector<LocalFile>& files) {
    const auto add = [&](const std::string& relative) {
        std::string data(drawSize(gen), '\0');
        for (auto& c : data) {
            c = static_cast<char>(gen());
        }
        files.push_back({h.dir.write(folder + "/" + relative, data), data});
    };
    add("sub/같은 이름.bin");
    const int own = 1 + static_cast<int>(gen() % 3);
    for (int i = 0; i < own; ++i) {
        add((i % 2 ? "sub/" : "") + std::string("곡 ") + std::to_string(gen() % 100000) + ".bin");
    }
}

struct Job {
    std::filesystem::path path;
};

// One upload; false (with the reason) when a file is not stored identical.
bool oneUpload(std::mt19937_64& gen, Counts& counts, std::vector<std::string>& used,
               std::string& mixName, std::string& changeName, std::string& why) {
    testing_support::WindowHarness h;
    h.window.clickCheckBox(control::kCloseWindowCheck);  // keep the window for a second run
    const bool myStorage = gen() % 2 == 0;
    std::vector<LocalFile> files;
    std::vector<Job> jobs;
    const auto single = [&](const std::string& name) {
        std::string data(drawSize(gen), '\0');
        for (auto& c : data) {
            c = static_cast<char>(gen());
        }
        files.push_back({h.dir.write("singles/" + name, data), data});
        jobs.push_back({files.back().path});
    };
    const int mix = static_cast<int>(gen() % 4);
    switch (mix) {
        case 0:
            mixName = "one folder";
            makeFolder(h, gen, "앨범", files);
            jobs.push_back({h.dir / "앨범"});
            break;
        case 1: {
            const int n = 2 + static_cast<int>(gen() % 2);
            const bool sideBySide = gen() % 2 == 0;
            mixName = std::to_string(n) +
                      (sideBySide ? " folders side by side" : " folders in different parents");
            for (int i = 0; i < n; ++i) {
                const std::string folder = sideBySide ? "앨범 " + std::to_string(i)
                                                      : "parent" + std::to_string(i) + "/앨범";
                makeFolder(h, gen, folder, files);
                jobs.push_back({h.dir / folder});
            }
            break;
        }
        case 2:
            mixName = "single files around a folder";
            single("before.bin");
            makeFolder(h, gen, "앨범", files);
            jobs.push_back({h.dir / "앨범"});
            single("after.bin");
            break;
        default:
            mixName = "single files";
            for (int i = 0; i < 1 + static_cast<int>(gen() % 3); ++i) {
                single("single" + std::to_string(i) + ".bin");
            }
            break;
    }
    mixName += myStorage ? ", my storage" : ", upload";

    service::ReferenceService::Options options;
    options.storage = h.dir / "store";
    const Draw draw{gen, files, myStorage};
    const int faultCount = 1 + static_cast<int>(gen() % 2);
    for (int i = 0; i < faultCount; ++i) {
        const auto& fault = kFaults[gen() % std::size(kFaults)];
        fault.apply(options.faults, draw);
        used.push_back(fault.name);
    }
    service::ReferenceService service(options);
    if (!service.start(why)) {
        return false;
    }
    platform::PosixTcpConnector connector;
    AlwaysYes question;
    h.window.setTransferFactory(CFileSocket::factory(TransferServices{
        h.clock, h.notices, connector, question, std::make_shared<RegisteredRecords>()}));
    h.window.onCopyData(handover::makeServerAddressMessage(handover::ListMessageKind::ServerAddress,
                                                           "127.0.0.1", service.commandPort()));
    tools::PageValues values;
    values.userNumber = 40 + counts.uploads % 7;
    values.registrant = "soak";
    for (const auto& job : jobs) {
        if (myStorage) {
            auto item = tools::buildMyStorageJob(job.path, values);
            if (!item) {
                why = item.error();
                return false;
            }
            h.window.onCopyData(handover::makeMyStorageJobMessage(*item));
        } else {
            auto item = tools::buildUploadJob(job.path, values);
            if (!item) {
                why = item.error();
                return false;
            }
            h.window.onCopyData(handover::makeUploadJobMessage(*item));
        }
        if (auto* expansion = h.window.folderSession().current()) {
            expansion->join();
        }
    }
    // Half the uploads meet a file that changes after it was handed over.
    const auto& change = gen() % 2 == 0 ? kChanges[0] : kChanges[gen() % std::size(kChanges)];
    changeName = change.name;
    if (change.apply != kChanges[0].apply) {
        auto& victim = files[gen() % files.size()];
        std::error_code error;
        const auto before = std::filesystem::last_write_time(victim.path, error);
        change.apply(victim, h.dir.write("outside/private.key", "private"));
        // A change that changes nothing (an empty file cut in half) is none.
        victim.changed = std::filesystem::is_symlink(victim.path) ||
                         !std::filesystem::exists(victim.path) ||
                         readAll(victim.path) != victim.content ||
                         std::filesystem::last_write_time(victim.path, error) != before;
    }
    h.loop.advance(1000ms);  // the wait dialog closes, then the run starts
    h.waitForEngine();
    h.loop.runPending();
    // A run the server found already connected (506) starts again by
    // itself after 189 seconds.
    if (h.window.view().text(control::kStatusLine).starts_with("서버에 접속 되어 있습니다.")) {
        h.loop.advance(189'000ms);
        h.waitForEngine();
        h.loop.runPending();
    }

    // Every "완료" must be a file the service holds identical.
    std::multiset<std::string> stored;
    for (const auto& s : service.stored()) {
        stored.insert(readAll(s.path));
    }
    auto& list = h.window.list();
    for (int row = 0; row < list.rowCount(); ++row) {
        const auto state = list.jobState(row);
        if (state == job_state::kUploading) {
            why = "row " + std::to_string(row) + " still reads 업로드중 after the run";
            return false;
        }
        if (state != job_state::kDone) {
            continue;
        }
        const auto record = list.record(row);
        const auto path = std::visit([](const auto& r) { return r.localPath(); }, record);
        for (const auto& f : files) {
            if (f.changed && f.path == path) {
                counts.falseDone.push_back("upload " + std::to_string(counts.uploads) + ", " +
                                           path + " changed after the hand-over, reads 완료");
            }
        }
        const auto it = stored.find(readAll(path));
        if (it == stored.end()) {
            counts.falseDone.push_back("upload " + std::to_string(counts.uploads) + ", " + path +
                                       " reads 완료 without an identical stored file");
        } else {
            stored.erase(it);
        }
    }
    // One more start takes what the first run could not finish; each of the
    // faults, used once per name, may cost one such start.
    for (int start = 0; start < faultCount && !list.allDone(); ++start) {
        ++counts.secondStarts;
        h.window.onCommand(control::kStartStop);
        h.waitForEngine();
        h.loop.runPending();
    }
    service.stop();
    counts.files += static_cast<int>(files.size());
    std::multiset<std::string> all;
    for (const auto& s : service.stored()) {
        all.insert(readAll(s.path));
    }
    // The changed file's row reads 오류 with its reason; every other is done.
    for (int row = 0; row < list.rowCount(); ++row) {
        // Refused rows have no record: their place is in the list's texts.
        const auto path = record_path::join(list.text(row, CFileListView::kLocation),
                                            list.text(row, CFileListView::kName));
        const bool changed = std::any_of(files.begin(), files.end(), [&](const LocalFile& f) {
            return f.changed && f.path == path;
        });
        const auto status = list.text(row, CFileListView::kStatusText);
        if (changed ? list.jobState(row) == job_state::kDone || status.empty()
                    : list.jobState(row) != job_state::kDone) {
            why = "row " + std::to_string(row) + " reads " + list.jobState(row) + ": " + status;
            return false;
        }
    }
    for (const auto& f : files) {
        if (f.changed) {
            continue;
        }
        const auto it = all.find(f.content);
        if (it == all.end()) {
            why = f.path.string() + " not stored identical";
            return false;
        }
        all.erase(it);
        counts.bytes += static_cast<double>(f.content.size());
    }
    for (const auto& e : service.protocolErrors()) {
        why = "protocol: " + e;
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const int iterations = argc > 1 ? std::atoi(argv[1]) : 100;
    const std::uint64_t seed =
        argc > 2 ? std::strtoull(argv[2], nullptr, 10) : std::random_device{}();
    std::mt19937_64 gen(seed);
    Counts counts;
    std::printf("upload soak: %d uploads, seed %llu\n", iterations,
                static_cast<unsigned long long>(seed));
    int failed = 0;
    for (int i = 0; i < iterations; ++i) {
        std::string why;
        std::string mix;
        std::string change;
        std::vector<std::string> used;
        ++counts.uploads;
        const bool ok = oneUpload(gen, counts, used, mix, change, why);
        ++counts.byChange[change].uploads;
        counts.byChange[change].passed += ok ? 1 : 0;
        for (const auto& name : std::set<std::string>(used.begin(), used.end())) {
            ++counts.byFault[name].uploads;
            counts.byFault[name].passed += ok ? 1 : 0;
        }
        ++counts.byMix[mix].uploads;
        counts.byMix[mix].passed += ok ? 1 : 0;
        if (!ok) {
            ++failed;
            std::string faults;
            for (const auto& u : used) {
                faults += (faults.empty() ? "" : " + ") + u;
            }
            std::printf("upload %d failed (%s; %s; file %s): %s\n", i + 1, mix.c_str(),
                        faults.c_str(), change.c_str(), why.c_str());
        }
        if ((i + 1) % 25 == 0) {
            std::printf("... %d uploads, %d failed\n", i + 1, failed);
        }
        std::fflush(stdout);
    }
    std::printf("\n%-40s %8s %8s\n", "fault", "uploads", "passed");
    for (const auto& [name, t] : counts.byFault) {
        std::printf("%-40s %8d %8d\n", name.c_str(), t.uploads, t.passed);
    }
    std::printf("\n%-40s %8s %8s\n", "file after the hand-over", "uploads", "passed");
    for (const auto& [name, t] : counts.byChange) {
        std::printf("%-40s %8d %8d\n", name.c_str(), t.uploads, t.passed);
    }
    std::printf("\n%-40s %8s %8s\n", "jobs", "uploads", "passed");
    for (const auto& [name, t] : counts.byMix) {
        std::printf("%-40s %8d %8d\n", name.c_str(), t.uploads, t.passed);
    }
    std::printf("\nfiles %d, %.1f MiB compared; %d more starts\n", counts.files,
                counts.bytes / 1048576.0, counts.secondStarts);
    std::printf("rows reading 완료 without an identical stored file: %zu\n",
                counts.falseDone.size());
    for (const auto& line : counts.falseDone) {
        std::printf("  %s\n", line.c_str());
    }
    const int passed = iterations - failed;
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 && counts.falseDone.empty() ? 0 : 1;
}
