#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

namespace quenvara::uploader {

// The counters of a run as one set of plain values, taken at one moment.
struct TransferSnapshot {
    double totalBytes = 0;
    double doneBytes = 0;
    double bytesSent = 0;
    double currentFileSize = 0;
    double currentFileDone = 0;
    std::int64_t startTime = 0;

    // KiB per second since the start time (bytes per second shifted by 10
    // bits); 0 while nothing was sent. Nothing before a whole second passed.
    std::optional<std::int64_t> speedKbps(std::int64_t now) const;
};

// The counters of a run, written by the engine and read by the window's
// one-second tick from another thread, and the speed and remaining-time
// arithmetic over them. Counts of bytes are doubles throughout.
struct TransferStatistics {
    std::atomic<double> totalBytes{0};  // of the rows not yet done
    std::atomic<double> doneBytes{0};
    std::atomic<double> bytesSent{0};  // in this run: the speed's base
    std::atomic<double> currentFileSize{0};
    std::atomic<double> currentFileDone{0};
    std::atomic<std::int64_t> startTime{0};  // seconds since the epoch, 0: not started

    static void add(std::atomic<double>& counter, double bytes) { counter.fetch_add(bytes); }

    // What the window's tick reads, instead of each counter on its own.
    TransferSnapshot snapshot() const {
        return {totalBytes, doneBytes, bytesSent, currentFileSize, currentFileDone, startTime};
    }
    std::optional<std::int64_t> speedKbps(std::int64_t now) const {
        return snapshot().speedKbps(now);
    }

    // Seconds `bytes` take at `kbps`, or nothing when that cannot be told
    // (no speed yet, or nothing left): never a division by zero, never an
    // infinite value converted to an integer.
    static std::optional<std::int64_t> remainingSeconds(double bytes, std::int64_t kbps);
};

}  // namespace quenvara::uploader
