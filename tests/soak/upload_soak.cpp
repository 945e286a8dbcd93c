// Stress run of the transfer engine against the reference service, by hand
// (scripts/soak.sh): every upload hands over a folder, breaks one random file
// of the group at a random offset and meets a random fault on the retry. It
// ends with every file compared with its original and prints the counts.
//   upload_soak [ITERATIONS] [SEED]
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>

#include "handover_client/job_builder.h"
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

struct Fault {
    const char* name;
    void (*apply)(service::Faults&);
};

const Fault kFaults[] = {
    {"none", [](service::Faults&) {}},
    {"header-only poll", [](service::Faults& f) { f.headerOnlyPoll = true; }},
    {"error form after the break", [](service::Faults& f) { f.errorFormAfterBreak = true; }},
    {"203 after the last byte", [](service::Faults& f) { f.afterData = {203}; }},
    {"505 after the last byte", [](service::Faults& f) { f.afterData = {505}; }},
    {"508 after the last byte", [](service::Faults& f) { f.afterData = {508}; }},
    {"514 after the last byte", [](service::Faults& f) { f.afterData = {514}; }},
    {"505, 508, 203 after the last byte",
     [](service::Faults& f) {
         f.afterData = {505, 508, 203};
     }},
};

struct Counts {
    int uploads = 0;
    int identical = 0;
    int failed = 0;
    int files = 0;
    int runs = 0;
    double bytes = 0;
    std::map<std::string, int> faults;
};

// One folder upload; false when a file is missing or differs.
bool oneUpload(std::mt19937_64& gen, Counts& counts, std::string& why) {
    testing_support::WindowHarness h;
    h.window.clickCheckBox(control::kCloseWindowCheck);  // keep the window for a second run
    const int fileCount = 2 + static_cast<int>(gen() % 6);
    std::vector<std::filesystem::path> files;
    std::vector<std::size_t> sizes;
    for (int i = 0; i < fileCount; ++i) {
        const std::size_t size = 1 + gen() % (3 * 1024 * 1024);
        std::string data(size, '\0');
        for (auto& c : data) {
            c = static_cast<char>(gen());
        }
        files.push_back(h.dir.write(
            "group/sub" + std::to_string(i % 2) + "/file" + std::to_string(i) + ".bin", data));
        sizes.push_back(size);
    }
    const int broken = static_cast<int>(gen() % static_cast<unsigned>(fileCount));
    const auto& fault = kFaults[gen() % std::size(kFaults)];
    service::ReferenceService::Options options;
    options.storage = h.dir / "store";
    options.faults.dropName = files[static_cast<std::size_t>(broken)].filename().string();
    options.faults.dropAfterBytes = 1 + gen() % std::max<std::size_t>(1, sizes[broken] - 1);
    fault.apply(options.faults);
    service::ReferenceService service(options);
    std::string error;
    if (!service.start(error)) {
        why = error;
        return false;
    }
    platform::PosixTcpConnector connector;
    AlwaysYes question;
    h.window.setTransferFactory(CFileSocket::factory(TransferServices{
        h.clock, h.notices, connector, question, std::make_shared<RegisteredRecords>()}));
    h.window.onCopyData(handover::makeServerAddressMessage(handover::ListMessageKind::ServerAddress,
                                                           "127.0.0.1", service.commandPort()));
    tools::PageValues values;
    values.userNumber = 40 + counts.uploads;
    values.registrant = "soak";
    auto item = tools::buildUploadJob(h.dir / "group", values);
    if (!item) {
        why = item.error();
        return false;
    }
    h.window.onCopyData(handover::makeUploadJobMessage(*item));
    if (auto* expansion = h.window.folderSession().current()) {
        expansion->join();
    }
    h.loop.advance(1000ms);  // the wait dialog closes, then the run starts
    h.waitForEngine();
    int runs = 1;
    // Rows a run could not finish (the error form ends a retry) go with the
    // next press of the start button, as the user would do.
    while (!h.window.list().allDone() && runs < 5) {
        h.loop.runPending();
        h.window.onCommand(control::kStartStop);
        h.waitForEngine();
        ++runs;
    }
    service.stop();
    counts.runs += runs;
    counts.files += fileCount;
    ++counts.faults[fault.name];
    std::map<std::string, std::filesystem::path> stored;
    for (const auto& s : service.stored()) {
        stored[s.path.parent_path().filename().string() + "/" + s.itemName] = s.path;
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        const auto key =
            files[i].parent_path().filename().string() + "/" + files[i].filename().string();
        const auto it = stored.find(key);
        if (it == stored.end() || readAll(it->second) != readAll(files[i])) {
            why = key + (it == stored.end() ? " missing" : " differs") + " (fault: " + fault.name +
                  ", broken file " + std::to_string(broken) + " after " +
                  std::to_string(options.faults.dropAfterBytes) + " bytes)";
            return false;
        }
        counts.bytes += static_cast<double>(sizes[i]);
    }
    if (!h.window.list().allDone()) {
        why = "rows not done after " + std::to_string(runs) + " runs";
        return false;
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
    for (int i = 0; i < iterations; ++i) {
        std::string why;
        ++counts.uploads;
        if (oneUpload(gen, counts, why)) {
            ++counts.identical;
        } else {
            ++counts.failed;
            std::printf("upload %d failed: %s\n", i + 1, why.c_str());
        }
    }
    std::printf("files %d, %.1f MiB compared, %d runs for %d uploads\n", counts.files,
                counts.bytes / 1048576.0, counts.runs, counts.uploads);
    for (const auto& [name, n] : counts.faults) {
        std::printf("  retry fault %-36s %d\n", name.c_str(), n);
    }
    std::printf("%d passed, %d failed\n", counts.identical, counts.failed);
    return counts.failed == 0 ? 0 : 1;
}
