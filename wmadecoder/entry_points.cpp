// The nine entry points of libQuenvaraMFWma.so over a small table of decoder
// slots. Only these are visible outside the module.
#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <new>

extern "C" {
#include <libavutil/log.h>
}

#include "common/byte_order.h"
#include "wmadecoder/wma_stream.h"

#pragma GCC visibility push(default)
#include "quenvara/wma_module.h"
#pragma GCC visibility pop

namespace {

using quenvara::wmadecoder::WmaStream;

constexpr std::size_t kSlots = 16;

// A handle is its slot's index + 1. inUse hands slots out without waiting
// for a slot that is busy decoding; the mutex guards the stream itself.
struct Slot {
    std::atomic<bool> inUse{false};
    std::mutex lock;
    std::unique_ptr<WmaStream> stream;
};

std::array<Slot, kSlots>& slots() {
    static std::array<Slot, kSlots> table;
    return table;
}

Slot* slotOf(std::int32_t handle) {
    if (handle < 1 || static_cast<std::size_t>(handle) > kSlots) {
        return nullptr;
    }
    return &slots()[static_cast<std::size_t>(handle) - 1];
}

// Runs f on the handle's stream under its slot's lock; fallback for an
// unknown handle or when f fails to allocate (nothing may cross the C
// boundary).
template <class R, class F>
R withStream(std::int32_t handle, R fallback, F&& f) {
    Slot* slot = slotOf(handle);
    if (slot == nullptr) {
        return fallback;
    }
    std::lock_guard guard(slot->lock);
    if (slot->stream == nullptr) {
        return fallback;
    }
    // Nothing may cross the C boundary, whatever it is.
    try {
        return f(*slot->stream);
    } catch (...) {
        return fallback;
    }
}

}  // namespace

extern "C" {

std::int32_t L_OrvaneWmaInit(void) {
    // The module reports failures by its results; FFmpeg's own messages
    // would only clutter the host's standard error.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
    for (std::size_t i = 0; i < kSlots; ++i) {
        Slot& slot = slots()[i];
        bool expected = false;
        if (!slot.inUse.compare_exchange_strong(expected, true)) {
            continue;
        }
        std::lock_guard guard(slot.lock);
        slot.stream.reset(new (std::nothrow) WmaStream);
        if (slot.stream == nullptr) {
            slot.inUse = false;
            return 0;
        }
        return static_cast<std::int32_t>(i + 1);
    }
    return 0;
}

std::int32_t L_OrvaneWmaSetParams(std::int32_t handle, std::int32_t startMs, std::int32_t endMs,
                                  std::int32_t, std::int32_t, std::int32_t, std::int32_t) {
    return withStream(handle, 0,
                      [&](WmaStream& stream) { return stream.setRange(startMs, endMs) ? 1 : 0; });
}

std::int32_t L_OrvaneWmaOpenMemory(std::int32_t handle, const void* data, std::uint64_t length) {
    return withStream(handle, 0,
                      [&](WmaStream& stream) { return stream.open(data, length) ? 1 : 0; });
}

void L_OrvaneWmaGetWaveFormat(std::int32_t handle, void* record) {
    if (record == nullptr) {
        return;
    }
    withStream(handle, 0, [&](WmaStream& stream) {
        if (!stream.isOpen()) {
            return 0;
        }
        const auto& format = stream.format();
        auto* bytes = static_cast<std::uint8_t*>(record);
        quenvara::bytes::storeU32(bytes, static_cast<std::uint32_t>(format.bitRateKbps));
        quenvara::bytes::storeU32(bytes + 4, static_cast<std::uint32_t>(format.sampleRate));
        quenvara::bytes::storeU32(bytes + 8, static_cast<std::uint32_t>(format.channels));
        quenvara::bytes::storeU16(bytes + 12, static_cast<std::uint16_t>(format.formatTag));
        return 0;
    });
}

std::int32_t L_OrvaneWmaReadSamplesInit(std::int32_t handle) {
    return withStream(handle, 0, [](WmaStream& stream) { return stream.startDecoding() ? 1 : 0; });
}

std::int32_t L_OrvaneWmaReadSamples(std::int32_t handle, void* buffer) {
    return withStream(handle, -1, [&](WmaStream& stream) {
        return stream.read(static_cast<std::uint8_t*>(buffer), QUENVARA_WMA_SAMPLE_BUFFER);
    });
}

void L_OrvaneWmaClose(std::int32_t handle) {
    withStream(handle, 0, [](WmaStream& stream) {
        stream.close();
        return 0;
    });
}

void L_OrvaneWmaRelease(std::int32_t handle) {
    Slot* slot = slotOf(handle);
    if (slot == nullptr) {
        return;
    }
    {
        std::lock_guard guard(slot->lock);
        if (slot->stream == nullptr) {
            return;
        }
        slot->stream.reset();
    }
    slot->inUse = false;
}

std::int32_t L_OrvaneWmaGetTotalPlayTime(std::int32_t handle) {
    return withStream(handle, 0, [](const WmaStream& stream) { return stream.durationMs(); });
}
}
