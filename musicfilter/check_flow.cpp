#include "musicfilter/check_flow.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <exception>

#include "common/cp949.h"
#include "common/regular_file.h"
#include "musicfilter/content_key.h"
#include "musicfilter/filter_http_client.h"
#include "musicfilter/fingerprint.h"
#include "musicfilter/wma_binding.h"
#include "platform/path_text.h"

namespace quenvara::musicfilter {
namespace {

// Texts go to the service in CP949: a character it cannot express becomes
// "?", the rest stays CP949.
std::string toCp949(const std::string& utf8) {
    return cp949::fromUtf8Lossy(utf8);
}

bool readWhole(const std::filesystem::path& path, std::string& out) {
    auto opened = openRegularFile(path);
    if (!opened) {
        return false;
    }
    const int fd = *opened;
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
    return wmaBinding().available();
}

std::mutex& fingerprintLock() {
    static std::mutex lock;
    return lock;
}

int uploadCheck(const FilterPost& post, MusicCheckResult& result, const std::filesystem::path& path,
                const std::string& userIdUtf8) {
    const std::string pathText = platform::utf8Text(path);
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
    // A WMA file needs the decoder module for its fingerprint; once bound it
    // stays bound until the library is unloaded.
    if (*format == MusicFormat::Wma && wmaBinding().bind(false) == 0) {
        return 99;
    }
    std::string bytes;
    try {
        if (!readWhole(path, bytes)) {
            return 2;
        }
    } catch (...) {
        return 2;  // a file larger than the memory we can have
    }
    FingerprintResult fp;
    {
        std::lock_guard lock(fingerprintLock());
        try {
            fp = computeFingerprint(
                *format,
                FileBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
                kFingerprintStartSeconds, wmaBinding().entryPoints());
        } catch (...) {
            fp.code = 2;
        }
    }
    std::string().swap(bytes);  // the file is not needed for the registration
    if (fp.code == 3) {
        return 1;
    }
    if (fp.code != 0) {
        // Without a fingerprint there is nothing to register: the key stands.
        return acceptKey();
    }
    if (!RegisterDna(post, registrationForm(query, fp.bitRateText, fp.table))) {
        return 1;
    }
    return acceptKey();
}

int downloadCheck(const FilterPost& post, MusicCheckResult& result, const std::string& key,
                  const std::string& userIdUtf8) {
    const KeyQuery query{localIpv4Address(), toCp949(userIdUtf8), key, "", "", "DN"};
    return QueryByKey(post, result, query) == 2 ? 1 : 0;
}

}  // namespace quenvara::musicfilter
