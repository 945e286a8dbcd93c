#include "musicfilter/wav_front_end.h"

#include <algorithm>

#include "musicfilter/dna_extractor.h"

namespace quenvara::musicfilter {

std::optional<WavPlan> planWav(const WaveLayout& layout, int startSecond) {
    if (layout.channels == 0 || layout.blockAlign == 0 || startSecond < 0) {
        return std::nullopt;
    }
    const std::uint64_t bits = layout.blockAlign / layout.channels * 8u;
    const auto hopFrames = static_cast<std::uint64_t>(layout.sampleRate * 0.011328125);
    WavPlan plan;
    plan.readSize = static_cast<std::size_t>(
        std::min<std::uint64_t>(layout.blockAlign * hopFrames, layout.dataSize));
    if (plan.readSize == 0) {
        return std::nullopt;  // nothing would ever be read
    }
    plan.startOffset =
        static_cast<std::uint64_t>(startSecond) * layout.sampleRate * layout.blockAlign;
    // A read larger than the usual buffer (96 kHz stereo, say) gets a buffer
    // of its own size rather than running past it.
    plan.chunkBytes = std::max(kWavChunkBuffer, plan.readSize);
    plan.bitRateText =
        std::to_string(std::uint64_t{layout.sampleRate} * layout.channels * bits / 1000);
    return plan;
}

FrontEndResult decodeWav(FileBytes file, int startSecond, DnaExtractor& extractor,
                         const ChunkPump& pump) {
    std::string error;
    const auto layout = parseWave(file, error);
    if (!layout) {
        return FrontEndResult::Failed;
    }
    const auto plan = planWav(*layout, startSecond);
    if (!plan || plan->startOffset > file.size()) {
        return FrontEndResult::Failed;
    }
    if (!extractor.Prepare(
            static_cast<int>(std::min<std::uint32_t>(layout->sampleRate, kMaxSampleRate + 1)),
            layout->channels, 16, plan->chunkBytes, plan->bitRateText)) {
        return FrontEndResult::Failed;
    }
    // Whatever the format says, the bytes are taken as 16-bit samples.
    std::size_t at = static_cast<std::size_t>(plan->startOffset);
    while (!extractor.done()) {
        if (file.size() - at < plan->readSize) {
            return FrontEndResult::Failed;  // the audio ends before the excerpt does
        }
        extractor.Feed(file.data() + at, plan->readSize);
        at += plan->readSize;
        if (pump) {
            pump();
        }
    }
    extractor.Finish();
    return FrontEndResult::Done;
}

}  // namespace quenvara::musicfilter
