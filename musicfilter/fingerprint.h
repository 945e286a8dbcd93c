#pragma once

#include <string>

#include "musicfilter/dna_entry.h"
#include "musicfilter/front_end.h"
#include "musicfilter/music_format.h"

namespace quenvara::musicfilter {

struct WmaEntryPoints;

// The fingerprint of one file in memory: code 0 with the table and the
// bit-rate text; 1 when an MP3 cannot be positioned at the start second;
// 3 for a WMA stream of a kind the fingerprint cannot use; 2 otherwise.
struct FingerprintResult {
    int code = 2;
    DnaTable table{};
    std::string bitRateText;
};

// `wma`: the bound decoder module, needed for WMA files only.
FingerprintResult computeFingerprint(MusicFormat format, FileBytes file, int startSecond,
                                     const WmaEntryPoints* wma, const ChunkPump& pump = {});

}  // namespace quenvara::musicfilter
