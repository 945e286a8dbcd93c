#pragma once

#include <filesystem>
#include <mutex>
#include <string>

#include "musicfilter/filter_answer.h"
#include "musicfilter/music_format.h"

namespace quenvara::musicfilter {

// The upload check of one file (UTF-8 path and user id), as the export runs it.
int uploadCheck(const FilterPost& post, MusicCheckResult& result, const std::filesystem::path& path,
                const std::string& userIdUtf8);

// The status query of a key.
int downloadCheck(const FilterPost& post, MusicCheckResult& result, const std::string& key,
                  const std::string& userIdUtf8);

// Whether WMA files can be fingerprinted: the decoder module is bound, or
// loads by file name with its nine entry points (released again at once).
bool wmaModuleAvailable();

// The lock that serialises fingerprint computations in the process.
std::mutex& fingerprintLock();

}  // namespace quenvara::musicfilter
