#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/result.h"

namespace quenvara::webcontrol {

// The browser's native messaging frames: a 32-bit length in the machine's
// byte order, then that many bytes of JSON. The length is checked before
// anything is allocated.
class NativeMessageReader {
  public:
    // The most one message from a page may hold: room for the longest music
    // list a page may hand over (2,032 names of up to 512 bytes, escaped).
    static constexpr std::uint32_t kMaxMessage = 4 * 1024 * 1024;
    // A longer message is read past (so the next one stays in step) up to
    // this size; beyond it the stream cannot be trusted any more.
    static constexpr std::uint32_t kMaxSkipped = 16 * 1024 * 1024;

    // Reads up to `size` bytes; 0 at the end, negative on an error.
    using ReadFn = std::function<long(void* buffer, std::size_t size)>;
    explicit NativeMessageReader(ReadFn read) : read_(std::move(read)) {}

    // The next message; nothing at a clean end of the stream; a failure for
    // a message refused (the stream goes on) or a broken stream (broken()).
    Result<std::optional<std::string>> next();
    bool broken() const { return broken_; }
    // The id of the last message refused for its size, as JSON text, when
    // its first bytes named one: the refusal is answered under it.
    const std::optional<std::string>& refusedId() const { return refusedId_; }

  private:
    // Reads exactly `size` bytes; false when the stream ended or failed.
    bool readExact(void* buffer, std::size_t size, std::size_t& got);

    ReadFn read_;
    bool broken_ = false;
    std::optional<std::string> refusedId_;
};

// One frame for the browser: the length, then the text.
std::string nativeMessageFrame(const std::string& json);

}  // namespace quenvara::webcontrol
