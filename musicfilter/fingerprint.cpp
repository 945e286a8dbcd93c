#include "musicfilter/fingerprint.h"

#include "musicfilter/dna_extractor.h"
#include "musicfilter/mp3_front_end.h"
#include "musicfilter/ogg_front_end.h"
#include "musicfilter/wav_front_end.h"
#include "musicfilter/wma_front_end.h"

namespace quenvara::musicfilter {

FingerprintResult computeFingerprint(MusicFormat format, FileBytes file, int startSecond,
                                     const WmaEntryPoints* wma, const ChunkPump& pump) {
    DnaExtractor extractor;
    FrontEndResult r = FrontEndResult::Failed;
    switch (format) {
        case MusicFormat::Mp3:
            r = decodeMp3(file, startSecond, extractor, pump);
            break;
        case MusicFormat::Ogg:
            r = decodeOgg(file, startSecond, extractor, pump);
            break;
        case MusicFormat::Wma:
            if (wma != nullptr) {
                r = decodeWma(*wma, file, startSecond, extractor, pump);
            }
            break;
        case MusicFormat::Wav:
            r = decodeWav(file, startSecond, extractor, pump);
            break;
        case MusicFormat::None:
            break;
    }
    FingerprintResult result;
    result.code = static_cast<int>(r);
    if (r == FrontEndResult::Done) {
        result.table = extractor.table();
        result.bitRateText = extractor.bitRateText();
    }
    return result;
}

}  // namespace quenvara::musicfilter
