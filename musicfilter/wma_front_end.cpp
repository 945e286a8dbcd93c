#include "musicfilter/wma_front_end.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/byte_order.h"
#include "musicfilter/dna_extractor.h"

namespace quenvara::musicfilter {
namespace {

// The module is asked for at most this much after the start.
constexpr std::int32_t kExcerptMs = 4000;

// Close and Release on every way out, even when Init gave no handle: the
// module expects both calls in that order.
class ModuleHandle {
  public:
    explicit ModuleHandle(const WmaEntryPoints& module) : module_(module), id_(module.init()) {}
    ~ModuleHandle() {
        module_.close(id_);
        module_.release(id_);
    }
    ModuleHandle(const ModuleHandle&) = delete;
    ModuleHandle& operator=(const ModuleHandle&) = delete;
    std::int32_t id() const { return id_; }

  private:
    const WmaEntryPoints& module_;
    std::int32_t id_;
};

// One run of the module; the handle is closed and released before the
// caller finishes the extractor.
FrontEndResult runModule(const WmaEntryPoints& module, FileBytes file, std::int32_t startMs,
                         DnaExtractor& extractor, const ChunkPump& pump) {
    ModuleHandle handle(module);
    if (handle.id() <= 0) {
        return FrontEndResult::Failed;
    }
    if (module.setParams(handle.id(), startMs, startMs + kExcerptMs, 0, 1, 0, 0) == 0) {
        return FrontEndResult::Failed;
    }
    if (module.openMemory(handle.id(), file.data(), file.size()) == 0) {
        return FrontEndResult::Failed;
    }
    std::uint8_t record[QUENVARA_WMA_FORMAT_RECORD] = {};
    module.getWaveFormat(handle.id(), record);
    const std::string bitRateText = std::to_string(bytes::loadU32(record));
    const int sampleRate = static_cast<int>(bytes::loadU32(record + 4));
    const int channels = static_cast<int>(bytes::loadU32(record + 8));
    const unsigned tag = bytes::loadU16(record + 12);
    if (tag != QUENVARA_WMA_V2_TAG) {
        return FrontEndResult::Unsupported;
    }
    if (!extractor.Prepare(sampleRate, channels, 16, kWmaChunkBytes, bitRateText)) {
        return FrontEndResult::Failed;
    }
    if (module.readSamplesInit(handle.id()) == 0) {
        return FrontEndResult::Failed;
    }
    // Handed over clear every time; only what the last call filled needs
    // clearing again.
    std::vector<std::uint8_t> buffer(kWmaChunkBytes);
    std::size_t used = 0;
    while (!extractor.done()) {
        std::memset(buffer.data(), 0, used);
        const std::int32_t n = module.readSamples(handle.id(), buffer.data());
        if (n <= 0) {
            break;  // the end of the excerpt; frames never reached keep their 0 words
        }
        // A module that claims more than our buffer has written past it;
        // nothing it gave can be trusted.
        if (static_cast<std::size_t>(n) > buffer.size()) {
            return FrontEndResult::Failed;
        }
        used = static_cast<std::size_t>(n);
        extractor.Feed(buffer.data(), used);
        if (pump) {
            pump();
        }
    }
    return FrontEndResult::Done;
}

}  // namespace

FrontEndResult decodeWma(const WmaEntryPoints& module, FileBytes file, int startSecond,
                         DnaExtractor& extractor, const ChunkPump& pump) {
    // The excerpt's end must fit the module's 32-bit milliseconds.
    if (startSecond < 0 || startSecond > (INT32_MAX - kExcerptMs) / 1000) {
        return FrontEndResult::Failed;
    }
    const FrontEndResult result = runModule(module, file, startSecond * 1000, extractor, pump);
    if (result == FrontEndResult::Done) {
        extractor.Finish();
    }
    return result;
}

}  // namespace quenvara::musicfilter
