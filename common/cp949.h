#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/result.h"

// Conversion between our internal UTF-8 and the CP949 bytes that records,
// frames, packets and filter-service forms carry.
namespace quenvara::cp949 {

// Fails, with a clear reason, on invalid UTF-8 or on a character CP949
// cannot express: a name is never silently mangled.
Result<std::string> fromUtf8(std::string_view utf8);

// For texts that must go somewhere all the same (the filter service's
// forms): a character CP949 cannot express, or a byte that is no UTF-8,
// becomes "?", and the rest is CP949.
std::string fromUtf8Lossy(std::string_view utf8);

// Bytes from outside may be anything: undecodable bytes become U+FFFD.
std::string toUtf8(std::string_view cp949);

// Length of the longest prefix of at most `limit` bytes that ends on a
// character boundary (a lead byte is never separated from its trail byte).
std::size_t prefixLength(std::string_view cp949, std::size_t limit);

}  // namespace quenvara::cp949
