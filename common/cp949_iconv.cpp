#include "common/cp949.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace quenvara::cp949 {
namespace {

class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) {
            iconv_close(cd_);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t handle() const { return cd_; }

  private:
    iconv_t cd_;
};

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

}  // namespace

Result<std::string> fromUtf8(std::string_view utf8) {
    Converter conv("CP949", "UTF-8");
    if (!conv.ok()) {
        return Result<std::string>::failure(std::string("CP949 converter unavailable: ") +
                                            std::strerror(errno));
    }
    std::string out;
    std::vector<char> buf(utf8.size() * 2 + 4);
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* outPtr = buf.data();
    std::size_t outLeft = buf.size();
    if (iconv(conv.handle(), &in, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
        const std::size_t at = utf8.size() - inLeft;
        if (errno == EILSEQ) {
            return Result<std::string>::failure("text cannot be written in CP949 at byte " +
                                                std::to_string(at) + ": \"" + std::string(utf8) +
                                                "\"");
        }
        return Result<std::string>::failure("invalid UTF-8 at byte " + std::to_string(at));
    }
    out.assign(buf.data(), static_cast<std::size_t>(outPtr - buf.data()));
    return out;
}

namespace {

// Converts all of `input`; at a sequence the converter refuses, `mark` is
// appended and `skip(at, left)` input bytes are passed over.
template <class Skip>
std::string convertMarking(Converter& conv, std::string_view input, std::string_view mark,
                           std::size_t outPerIn, Skip skip) {
    std::string out;
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    std::vector<char> buf(input.size() * outPerIn + 8);
    while (inLeft > 0) {
        char* outPtr = buf.data();
        std::size_t outLeft = buf.size();
        const std::size_t rc = iconv(conv.handle(), &in, &inLeft, &outPtr, &outLeft);
        out.append(buf.data(), static_cast<std::size_t>(outPtr - buf.data()));
        if (rc != static_cast<std::size_t>(-1)) {
            break;
        }
        if (errno == E2BIG) {
            continue;
        }
        const std::size_t n = skip(in, inLeft);
        out.append(mark);
        in += n;
        inLeft -= n;
        iconv(conv.handle(), nullptr, nullptr, nullptr, nullptr);
    }
    return out;
}

}  // namespace

std::string fromUtf8Lossy(std::string_view utf8) {
    Converter conv("CP949", "UTF-8");
    if (!conv.ok()) {
        return std::string(utf8);
    }
    // The whole character goes: its length from the UTF-8 lead byte, bounded
    // by what is left and by its continuation bytes.
    return convertMarking(conv, utf8, "?", 2, [](const char* at, std::size_t left) {
        const auto lead = static_cast<unsigned char>(*at);
        const std::size_t width = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        std::size_t skip = 1;
        while (skip < width && skip < left &&
               (static_cast<unsigned char>(at[skip]) & 0xC0) == 0x80) {
            ++skip;
        }
        return skip;
    });
}

std::string toUtf8(std::string_view cp949) {
    Converter conv("UTF-8", "CP949");
    if (!conv.ok()) {
        return std::string(cp949);
    }
    // EILSEQ or a lead byte cut off at the end: mark it and go on.
    return convertMarking(conv, cp949, kReplacement, 3,
                          [](const char*, std::size_t) { return std::size_t{1}; });
}

}  // namespace quenvara::cp949
