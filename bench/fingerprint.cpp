// Fingerprint time per file and format, against (a) the bare open + seek +
// decode of the same excerpt with the same decoder library and (b) fpcalc
// -length 64 on the same file, as ratios in one run. Fixtures come from
// tests/fixtures/make_audio_fixtures.sh (run by the test suite).
//   build/default/bin/bench_fingerprint [FIXTURE_DIR, default build/default/audio-fixtures]
// Each time is the best of several runs; fpcalc needs libchromaprint-tools
// (scripts/install-deps.sh --bench).
#include <mpg123.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "musicfilter/fingerprint.h"
#include "musicfilter/ogg_front_end.h"
#include "musicfilter/riff_wave.h"
#include "musicfilter/wma_binding.h"

using namespace quenvara::musicfilter;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kStart = 60;
constexpr int kHops = 288;
// The fingerprint uses two threads; its time varies more than a plain decode.
constexpr int kRuns = 30;

double bestMs(int runs, const std::function<void()>& f) {
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        f();
        best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    return best;
}

std::vector<std::uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Bytes of 16-bit PCM the excerpt needs at this rate and channel count.
std::size_t excerptBytes(long rate, int channels) {
    return static_cast<std::size_t>(rate * 0.011328125) * kHops * channels * 2;
}

volatile std::uint8_t sink;

void bareWav(const std::vector<std::uint8_t>& file) {
    std::string error;
    const auto w = parseWave(file, error);
    const std::size_t at = std::size_t{kStart} * w->sampleRate * w->blockAlign;
    const std::size_t n = excerptBytes(w->sampleRate, w->channels);
    std::vector<std::uint8_t> copy(file.begin() + at, file.begin() + at + n);
    sink = copy[n / 2];
}

void bareOgg(const std::vector<std::uint8_t>& file) {
    OggSource source{file.data(), file.size(), 0};
    const ov_callbacks callbacks{
        oggRead, [](void* s, ogg_int64_t o, int w) { return oggSeek(s, o, w); }, oggClose, oggTell};
    OggVorbis_File vf;
    ov_open_callbacks(&source, &vf, nullptr, 0, callbacks);
    ov_time_seek(&vf, kStart);
    const vorbis_info* info = ov_info(&vf, 0);
    std::size_t left = excerptBytes(info->rate, info->channels);
    char buffer[8192];
    int stream = 0;
    while (left > 0) {
        const long n = ov_read(&vf, buffer, 8192, 0, 2, 1, &stream);
        if (n <= 0) {
            break;
        }
        left -= std::min<std::size_t>(left, static_cast<std::size_t>(n));
    }
    ov_clear(&vf);
}

void bareMp3(const std::vector<std::uint8_t>& file) {
    mpg123_handle* h = mpg123_new(nullptr, nullptr);
    mpg123_param(h, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0);
    mpg123_open_feed(h);
    // Let the decoder read the header and its index, then jump.
    mpg123_feed(h, file.data(), 16384);
    long rate = 44100;
    int channels = 2, encoding = 0;
    std::size_t done = 0;
    unsigned char out[16384];
    mpg123_read(h, out, sizeof out, &done);
    mpg123_getformat(h, &rate, &channels, &encoding);
    off_t inputOffset = 0;
    mpg123_feedseek(h, static_cast<off_t>(kStart) * rate, SEEK_SET, &inputOffset);
    std::size_t at = static_cast<std::size_t>(inputOffset);
    std::size_t left = excerptBytes(rate, channels);
    while (left > 0 && at < file.size()) {
        const std::size_t chunk = std::min<std::size_t>(4096, file.size() - at);
        mpg123_feed(h, file.data() + at, chunk);
        at += chunk;
        int r = MPG123_OK;
        while (left > 0 && (r = mpg123_read(h, out, sizeof out, &done)) != MPG123_NEED_MORE &&
               r != MPG123_ERR && r != MPG123_DONE) {
            left -= std::min(left, done);
        }
    }
    mpg123_delete(h);
}

void bareWma(const WmaEntryPoints& m, const std::vector<std::uint8_t>& file) {
    const int h = m.init();
    m.setParams(h, kStart * 1000, kStart * 1000 + 4000, 0, 1, 0, 0);
    m.openMemory(h, file.data(), file.size());
    m.readSamplesInit(h);
    std::vector<std::uint8_t> buffer(137'632);
    while (m.readSamples(h, buffer.data()) > 0) {
    }
    m.close(h);
    m.release(h);
}

double fpcalcMs(const std::string& path) {
    const std::string command = "fpcalc -length 64 '" + path + "' > /dev/null 2>&1";
    if (std::system("command -v fpcalc > /dev/null") != 0) {
        return -1;
    }
    return bestMs(3, [&] {
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "fpcalc failed on %s\n", path.c_str());
        }
    });
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : "build/default/audio-fixtures";
    if (wmaBinding().bind(false) == 0) {
        std::fprintf(stderr, "the WMA decoder module is not found\n");
        return 1;
    }
    const WmaEntryPoints& wma = *wmaBinding().entryPoints();
    mpg123_init();
    struct Case {
        const char* file;
        MusicFormat format;
        std::function<void(const std::vector<std::uint8_t>&)> bare;
    };
    const Case cases[] = {
        {"stereo44k.wav", MusicFormat::Wav, bareWav},
        {"cbr128.mp3", MusicFormat::Mp3, bareMp3},
        {"vbr192.mp3", MusicFormat::Mp3, bareMp3},
        {"nominal160.ogg", MusicFormat::Ogg, bareOgg},
        {"wmav2.wma", MusicFormat::Wma, [&](const auto& f) { bareWma(wma, f); }},
    };
    std::printf("%-16s %12s %10s %10s %12s %12s\n", "file", "fingerprint", "bare", "fpcalc",
                "fp/bare", "fpcalc/fp");
    for (const auto& c : cases) {
        const std::string path = dir + "/" + c.file;
        const auto file = readFile(path);
        if (file.empty()) {
            std::fprintf(stderr, "%s: missing\n", path.c_str());
            return 1;
        }
        int code = -1;
        const double fp = bestMs(kRuns, [&] {
            code = computeFingerprint(c.format, FileBytes(file), kStart, &wma).code;
        });
        if (code != 0) {
            std::fprintf(stderr, "%s: fingerprint failed with %d\n", c.file, code);
            return 1;
        }
        const double bare = bestMs(kRuns, [&] { c.bare(file); });
        const double calc = fpcalcMs(path);
        std::printf("%-16s %10.2fms %8.2fms %8.1fms %12.2f %12.1f\n", c.file, fp, bare, calc,
                    fp / bare, calc > 0 ? calc / fp : 0.0);
    }
    return 0;
}
