// Upload throughput of the uploader over loopback into the reference service
// discarding what it takes (the physical limit of this machine), as a ratio
// to a plain 32 KiB send loop of the same bytes into the same service in the
// same run, and the uploader's peak resident memory.
//   build/default/bin/bench_upload_throughput [size-in-MiB, default 1024] [rounds, default 5]
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "handover_client/job_builder.h"
#include "handover_client/pipe_list_writer.h"
#include "platform/clock.h"
#include "platform/notices.h"
#include "platform/tcp.h"
#include "protocol/list_message.h"
#include "protocol/packet.h"
#include "service/reference_service.h"

extern char** environ;

namespace {

using namespace quenvara;
namespace fs = std::filesystem;

// The latest upload of that name (each round adds one).
double storedSeconds(const service::ReferenceService& svc, const std::string& name) {
    const auto stored = svc.stored();
    for (auto s = stored.rbegin(); s != stored.rend(); ++s) {
        if (s->itemName == name) {
            return s->receiveSeconds;
        }
    }
    return -1;
}

// The baseline: the same conversation, with the data sent by a plain loop
// of 32 KiB reads and sends.
bool plainUpload(int port, const fs::path& file, const std::string& name) {
    platform::PosixTcpConnector connector;
    int error = 0;
    auto conn = connector.connect("127.0.0.1", port, error);
    if (!conn) {
        return false;
    }
    const auto send = [&](std::int32_t type, std::span<const std::uint8_t> body = {}) {
        const auto p = transfer::encodePacket(type, body, {});
        return conn->sendAll(p) == static_cast<long>(p.size());
    };
    const auto expect = [&](std::int32_t type) {
        std::array<std::uint8_t, transfer::kHeaderSize> head{};
        if (conn->recvExact(head) != static_cast<long>(head.size())) {
            return false;
        }
        const auto h = transfer::PacketHeader::decode(head);
        std::vector<std::uint8_t> body(*transfer::bodyLength(h));
        if (!body.empty() && conn->recvExact(body) != static_cast<long>(body.size())) {
            return false;
        }
        return h.type == type;
    };
    auto record = tools::buildUploadJob(file, {});
    if (!record || !record->setItemName(name) || !record->setContentId("BASE")) {
        return false;
    }
    if (!send(transfer::msg::kStart) || !expect(transfer::msg::kResendRecord) ||
        !send(transfer::msg::kFileRecord, record->bytes()) ||
        !expect(transfer::msg::kRegisteredRecord) || !send(transfer::msg::kProceed) ||
        !expect(transfer::msg::kSendData)) {
        return false;
    }
    const int fd = ::open(file.c_str(), O_RDONLY);
    std::vector<std::uint8_t> buffer(32 * 1024);
    for (ssize_t n; (n = ::read(fd, buffer.data(), buffer.size())) > 0;) {
        if (conn->sendAll({buffer.data(), static_cast<std::size_t>(n)}) != n) {
            ::close(fd);
            return false;
        }
    }
    ::close(fd);
    send(transfer::msg::kClose);
    std::array<std::uint8_t, 1> end{};
    conn->recvExact(end);  // the service closes once it has everything
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const fs::path work =
        fs::temp_directory_path() / ("quenvara-bench-" + std::to_string(::getpid()));
    fs::create_directories(work / "files");
    const fs::path file = work / "files" / "sparse.img";
    {
        const int fd = ::open(file.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        ::ftruncate(fd, static_cast<off_t>(mib * 1024 * 1024));
        ::pwrite(fd, "head", 4, 0);
        ::close(fd);
    }
    // Both uploads read the file from the page cache: the first read of a
    // sparse file costs the kernel its zeroing, which neither side should pay.
    {
        const int fd = ::open(file.c_str(), O_RDONLY);
        std::vector<char> buffer(1 << 20);
        while (::read(fd, buffer.data(), buffer.size()) > 0) {
        }
        ::close(fd);
    }
    // The service takes the bytes and stores nothing, so that the disk
    // measures neither side.
    service::ReferenceService::Options options;
    options.storage = work / "store";
    options.discard = true;
    service::ReferenceService svc(options);
    std::string error;
    if (!svc.start(error)) {
        std::fprintf(stderr, "service: %s\n", error.c_str());
        return 1;
    }

    // The uploader as its own process, so that its memory is its own.
    const std::string pipes = (work / "pipes").string();
    const std::string config = (work / "config").string();
    ::setenv("QUENVARA_PIPE_DIR", pipes.c_str(), 1);
    ::setenv("QUENVARA_CONFIG_DIR", config.c_str(), 1);
    ::setenv("QUENVARA_UI", "headless", 1);
    const std::string uploader = QUENVARA_UPLOADER;
    platform::StreamNotices notices(std::cerr);
    platform::SystemClock clock;
    // Rounds alternate the two uploads, and the medians are reported: one
    // round on a shared machine may be off by a fifth either way.
    std::vector<double> ratios;
    std::vector<double> uploaderTimes;
    std::vector<double> baselineTimes;
    long peakKiB = 0;
    int status = 0;
    for (int round = 0; round < rounds; ++round) {
        pid_t pid = 0;
        char* args[] = {const_cast<char*>(uploader.c_str()), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid, uploader.c_str(), &actions, nullptr, args, environ) != 0) {
            std::fprintf(stderr, "cannot start %s\n", uploader.c_str());
            return 1;
        }
        posix_spawn_file_actions_destroy(&actions);
        handover::PipeListWriter writer(notices, clock, [&](std::string_view name) {
            return fs::path(pipes) / std::string(name);
        });
        auto job = tools::buildUploadJob(file, {});
        writer.write(handover::makeServerAddressMessage(handover::ListMessageKind::ServerAddress,
                                                        "127.0.0.1", svc.commandPort()));
        writer.write(handover::makeUploadJobMessage(*job));
        rusage usage{};
        ::wait4(pid, &status, 0, &usage);
        peakKiB = std::max(peakKiB, usage.ru_maxrss);
        uploaderTimes.push_back(storedSeconds(svc, "sparse.img"));
        if (!plainUpload(svc.dataPort(4), file, "baseline.img")) {
            std::fprintf(stderr, "baseline upload failed\n");
            return 1;
        }
        baselineTimes.push_back(storedSeconds(svc, "baseline.img"));
        ratios.push_back(baselineTimes.back() / uploaderTimes.back());
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const double uploaderSeconds = median(uploaderTimes);
    const double baselineSeconds = median(baselineTimes);
    svc.stop();
    fs::remove_all(work);

    const double mb = static_cast<double>(mib);
    std::printf("file                 %llu MiB (sparse)\n", static_cast<unsigned long long>(mib));
    std::printf("uploader             %.3f s  %.0f MiB/s\n", uploaderSeconds, mb / uploaderSeconds);
    std::printf("plain 32 KiB loop    %.3f s  %.0f MiB/s\n", baselineSeconds, mb / baselineSeconds);
    std::printf("rounds               %d (medians)\n", rounds);
    std::printf("throughput ratio     %.2f (target >= 0.9; rounds %.2f to %.2f)\n", median(ratios),
                *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()));
    std::printf("uploader peak RSS    %.1f MiB (target < 40)\n",
                static_cast<double>(peakKiB) / 1024.0);
    std::printf("uploader exit        %d\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return 0;
}
