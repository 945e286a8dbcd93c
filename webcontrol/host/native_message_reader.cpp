#include "webcontrol/host/native_message_reader.h"

#include <cstring>
#include <regex>
#include <vector>

namespace quenvara::webcontrol {

bool NativeMessageReader::readExact(void* buffer, std::size_t size, std::size_t& got) {
    got = 0;
    auto* out = static_cast<char*>(buffer);
    while (got < size) {
        const long n = read_(out + got, size - got);
        if (n <= 0) {
            return false;
        }
        got += static_cast<std::size_t>(n);
    }
    return true;
}

namespace {

// The id a message's first bytes give ({"id":7,... or {"id":"a",...), as
// JSON text; only a plain number or a short text without escapes.
std::optional<std::string> idIn(const std::string& head) {
    static const std::regex id(R"re("id"\s*:\s*(-?[0-9]{1,15}|"[^"\\]{0,64}"))re");
    std::smatch match;
    if (std::regex_search(head, match, id)) {
        return match[1].str();
    }
    return std::nullopt;
}

}  // namespace

Result<std::optional<std::string>> NativeMessageReader::next() {
    using R = Result<std::optional<std::string>>;
    refusedId_.reset();
    if (broken_) {
        return R::failure("the message stream is broken");
    }
    std::uint32_t length = 0;
    std::size_t got = 0;
    if (!readExact(&length, sizeof length, got)) {
        if (got == 0) {
            return std::optional<std::string>{};  // the browser closed the port
        }
        broken_ = true;
        return R::failure("the stream ended inside a message length");
    }
    if (length > kMaxMessage) {
        if (length > kMaxSkipped) {
            broken_ = true;
            return R::failure("a message of " + std::to_string(length) +
                              " bytes: the stream is out of step");
        }
        std::vector<char> sink(4096);
        std::string head;
        std::size_t left = length;
        while (left > 0) {
            const std::size_t want = std::min(left, sink.size());
            if (!readExact(sink.data(), want, got)) {
                broken_ = true;
                return R::failure("the stream ended inside a message");
            }
            if (head.empty()) {
                head.assign(sink.data(), std::min<std::size_t>(want, 256));
            }
            left -= want;
        }
        refusedId_ = idIn(head);
        return R::failure("a message of " + std::to_string(length) + " bytes is over the " +
                          std::to_string(kMaxMessage) + "-byte limit");
    }
    std::string body(length, '\0');
    if (!readExact(body.data(), length, got)) {
        broken_ = true;
        return R::failure("the stream ended inside a message");
    }
    return std::optional<std::string>(std::move(body));
}

std::string nativeMessageFrame(const std::string& json) {
    const auto length = static_cast<std::uint32_t>(json.size());
    std::string frame(sizeof length, '\0');
    std::memcpy(frame.data(), &length, sizeof length);
    return frame + json;
}

}  // namespace quenvara::webcontrol
