#include "musicfilter/check_flow.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "common/cp949.h"
#include "musicfilter/content_key.h"
#include "musicfilter/filter_http_client.h"
#include "platform/dynamic_library.h"

namespace quenvara::musicfilter {
namespace {

// Texts go to the service in CP949; one that cannot be expressed is sent as
// it is rather than dropped.
std::string toCp949(const std::string& utf8) {
    auto bytes = cp949::fromUtf8(utf8);
    return bytes ? *bytes : utf8;
}

bool readWhole(const std::filesystem::path& path, std::string& out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return false;
    }
    out.assign(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t got = 0;
    while (got < out.size()) {
        const ssize_t n = ::read(fd, out.data() + got, out.size() - got);
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return got == out.size();
}

}  // namespace

bool wmaModuleAvailable() {
    static constexpr const char* kEntryPoints[] = {
        "L_OrvaneWmaInit",          "L_OrvaneWmaSetParams",       "L_OrvaneWmaOpenMemory",
        "L_OrvaneWmaGetWaveFormat", "L_OrvaneWmaReadSamplesInit", "L_OrvaneWmaReadSamples",
        "L_OrvaneWmaClose",         "L_OrvaneWmaRelease",         "L_OrvaneWmaGetTotalPlayTime"};
    platform::DynamicLibrary module("libQuenvaraMFWma.so");
    if (!module.loaded()) {
        return false;
    }
    for (const char* name : kEntryPoints) {
        if (module.symbol(name) == nullptr) {
            return false;
        }
    }
    return true;
}

std::mutex& fingerprintLock() {
    static std::mutex lock;
    return lock;
}

Fingerprint computeFingerprint(MusicFormat, const std::string&) {
    // No decoder front-end yet: the honest answer is "no fingerprint".
    return {2};
}

int uploadCheck(const FilterPost& post, MusicCheckResult& result, const std::filesystem::path& path,
                const std::string& userIdUtf8) {
    const std::string pathText = path.string();
    const auto format = formatOf(pathText);
    if (!format) {
        return 3;
    }
    result.fill(0);
    const auto key = contentKey(path);
    if (key.failure != 0) {
        return 2;
    }
    const KeyQuery query{localIpv4Address(),  toCp949(userIdUtf8),           key.key,
                         formatText(*format), toCp949(fileNameOf(pathText)), "UP"};
    const int code = QueryByKey(post, result, query);
    const auto acceptKey = [&] {
        std::copy(key.key.begin(), key.key.end(), result.begin());
        return 0;
    };
    if (code == 0) {
        return acceptKey();
    }
    if (code == 2) {
        return 1;
    }
    // A WMA file needs the decoder module for its fingerprint.
    if (*format == MusicFormat::Wma && !wmaModuleAvailable()) {
        return 99;
    }
    std::string bytes;
    if (!readWhole(path, bytes)) {
        return 2;
    }
    Fingerprint fp;
    {
        std::lock_guard lock(fingerprintLock());
        fp = computeFingerprint(*format, bytes);
    }
    if (fp.failure == 3) {
        return 1;
    }
    // Without a fingerprint there is nothing to register: the key stands.
    return acceptKey();
}

int downloadCheck(const FilterPost& post, MusicCheckResult& result, const std::string& key,
                  const std::string& userIdUtf8) {
    const KeyQuery query{localIpv4Address(), toCp949(userIdUtf8), key, "", "", "DN"};
    return QueryByKey(post, result, query) == 2 ? 1 : 0;
}

}  // namespace quenvara::musicfilter
