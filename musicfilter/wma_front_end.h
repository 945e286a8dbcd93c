#pragma once

#include "musicfilter/front_end.h"
#include "musicfilter/wma_binding.h"

namespace quenvara::musicfilter {

class DnaExtractor;

// The module's chunk; also what sizes the extractor's sample ring.
inline constexpr std::size_t kWmaChunkBytes = QUENVARA_WMA_SAMPLE_BUFFER;

// Feeds the extractor from startSecond through the WMA decoder module:
// Done, Failed, or Unsupported for a stream other than WMA version 2.
FrontEndResult decodeWma(const WmaEntryPoints& module, FileBytes file, int startSecond,
                         DnaExtractor& extractor, const ChunkPump& pump);

}  // namespace quenvara::musicfilter
