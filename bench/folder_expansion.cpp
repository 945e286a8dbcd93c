// Folder expansion (walk, sizes and MD5 digests) of 999 files of 1 MiB,
// against `find DIR -type f -print0 | xargs -0 md5sum` over the same files,
// as a ratio in one run. Both run on a warm page cache.
//   build/default/bin/bench_folder_expansion [files, default 999]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "common/file_digest.h"
#include "handover_client/job_builder.h"
#include "uploader/transfer/folder_expansion.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
    const int files = argc > 1 ? std::atoi(argv[1]) : 999;
    const fs::path work = fs::temp_directory_path() / "quenvara-bench-expansion";
    fs::remove_all(work);
    std::string block(1024 * 1024, '\0');
    std::mt19937 gen(1);
    for (auto& c : block) {
        c = static_cast<char>(gen());
    }
    for (int i = 0; i < files; ++i) {
        const auto dir = work / "tree" / ("d" + std::to_string(i % 10));
        fs::create_directories(dir);
        block[0] = static_cast<char>(i);
        std::ofstream(dir / ("f" + std::to_string(i)), std::ios::binary) << block;
    }
    auto item = quenvara::tools::buildUploadJob(work / "tree", {}, files + 1);
    if (!item) {
        std::fprintf(stderr, "%s\n", item.error().c_str());
        return 1;
    }
    quenvara::uploader::FolderExpansion expansion(quenvara::fileDigest, [](const std::string&) {});
    const std::string command =
        "find '" + (work / "tree").string() + "' -type f -print0 | xargs -0 md5sum > /dev/null";
    // Warm the cache, then measure each once.
    (void)expansion.expand(*item);
    (void)std::system(command.c_str());

    auto t0 = Clock::now();
    const auto out = expansion.expand(*item);
    const std::chrono::duration<double> ours = Clock::now() - t0;
    t0 = Clock::now();
    const int rc = std::system(command.c_str());
    const std::chrono::duration<double> theirs = Clock::now() - t0;
    fs::remove_all(work);

    std::printf("files                    %d of 1 MiB (%zu records)\n", files, out.records.size());
    std::printf("folder expansion         %.3f s\n", ours.count());
    std::printf("find | xargs md5sum      %.3f s (exit %d)\n", theirs.count(), rc);
    std::printf("ratio (expansion / find) %.2f\n", ours.count() / theirs.count());
    return 0;
}
