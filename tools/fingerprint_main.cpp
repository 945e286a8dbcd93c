// quenvara-fingerprint: prints the fingerprint the music filter library
// would register for a file: its result code, bit-rate text and 32 pairs.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "musicfilter/content_key.h"
#include "musicfilter/filter_answer.h"
#include "musicfilter/fingerprint.h"
#include "musicfilter/music_format.h"
#include "musicfilter/wma_binding.h"
#include "platform/path_text.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: quenvara-fingerprint [--start SECONDS | --key] FILE\n");
    return 64;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace quenvara::musicfilter;
    int start = kFingerprintStartSeconds;
    const char* path = nullptr;
    bool keyOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("quenvara-fingerprint %s\n", QUENVARA_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            std::printf(
                "usage: quenvara-fingerprint [--start SECONDS | --key] FILE\n"
                "Prints the fingerprint the music filter would register for an MP3, "
                "Ogg, WMA or WAV file; with --key, the content key it would send.\n");
            return 0;
        }
        if (std::strcmp(argv[i], "--key") == 0) {
            keyOnly = true;
        } else if (std::strcmp(argv[i], "--start") == 0 && i + 1 < argc) {
            char* end = nullptr;
            const long v = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || v < 0 || v > 86'400) {
                return usage();
            }
            start = static_cast<int>(v);
        } else if (path == nullptr && argv[i][0] != '-') {
            path = argv[i];
        } else {
            return usage();
        }
    }
    if (path == nullptr) {
        return usage();
    }
    if (keyOnly) {
        const auto key = contentKey(quenvara::platform::systemTextPath(path));
        if (key.failure != 0) {
            std::fprintf(stderr, "quenvara-fingerprint: %s: cannot be read\n", path);
            return 2;
        }
        std::printf("key %s\n", key.key.c_str());
        return 0;
    }
    const auto format = formatOf(path);
    if (!format) {
        std::fprintf(stderr, "quenvara-fingerprint: %s: not an MP3, Ogg, WMA or WAV name\n", path);
        return 3;
    }
    std::ifstream in(quenvara::platform::systemTextPath(path), std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "quenvara-fingerprint: %s: cannot open\n", path);
        return 2;
    }
    const std::vector<std::uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
    if (*format == MusicFormat::Wma && wmaBinding().bind(false) == 0) {
        std::fprintf(stderr, "quenvara-fingerprint: the WMA decoder module %s is not there\n",
                     kWmaModuleFileName.c_str());
        return 99;
    }
    const auto fp =
        computeFingerprint(*format, FileBytes(bytes), start, wmaBinding().entryPoints());
    std::printf("result %d\n", fp.code);
    if (fp.code != 0) {
        return fp.code;
    }
    std::printf("bitrate %s\n", fp.bitRateText.c_str());
    for (const auto& e : fp.table) {
        std::printf("%u %d\n", unsigned{e.dna_index}, e.fdna);
    }
    return 0;
}
