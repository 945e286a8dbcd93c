// The RIFF chunk walk and the WAV front-end on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "musicfilter/dna_extractor.h"
#include "musicfilter/riff_wave.h"
#include "musicfilter/wav_front_end.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quenvara::musicfilter;
    const FileBytes file(data, size);
    std::string error;
    if (const auto layout = parseWave(file, error)) {
        if (layout->dataOffset > size || layout->dataSize > size - layout->dataOffset) {
            __builtin_trap();  // the data chunk must lie inside the file
        }
        // Start 0 so that small inputs reach the reading loop.
        DnaExtractor extractor;
        decodeWav(file, 0, extractor, {});
    } else if (error.empty()) {
        __builtin_trap();  // a refusal always says why
    }
    return 0;
}
