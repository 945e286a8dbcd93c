#pragma once

#include <filesystem>
#include <mutex>
#include <string>

#include "musicfilter/filter_answer.h"
#include "musicfilter/music_format.h"

namespace quenvara::musicfilter {

// What a fingerprint computation gives: 0 with the registration form's
// parts, or a failure code (3: a WMA stream the fingerprint cannot use).
struct Fingerprint {
    int failure = 0;
};

// The fingerprint step; until the decoders exist it reports that it could
// not make one, so no registration is sent.
Fingerprint computeFingerprint(MusicFormat format, const std::string& fileBytes);

// The upload check of one file (UTF-8 path and user id), as the export runs it.
int uploadCheck(const FilterPost& post, MusicCheckResult& result, const std::filesystem::path& path,
                const std::string& userIdUtf8);

// The status query of a key.
int downloadCheck(const FilterPost& post, MusicCheckResult& result, const std::string& key,
                  const std::string& userIdUtf8);

// Whether the WMA decoder module loads by file name with its nine entry points.
bool wmaModuleAvailable();

// The lock that serialises fingerprint computations in the process.
std::mutex& fingerprintLock();

}  // namespace quenvara::musicfilter
