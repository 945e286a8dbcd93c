#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/result.h"

// How the local paths in job records are read. The control that builds a
// record and the uploader that opens its files read them by this one rule,
// so that what the control checked is what the uploader opens.
namespace quenvara::record_path {

// Both '/' and '\' separate parts (the records come from a platform whose
// separator is '\'); a name holding either cannot be carried as one name.
inline constexpr bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

// Longest path text taken from outside; longer ones are refused before any
// look at the disk.
inline constexpr std::size_t kMaxPathBytes = 4096;

// Every separator written '/', a run of them as one.
std::string normalSeparators(std::string_view path);

// The same path written with the system's own separator ('\' on Windows),
// as a record built here carries it.
std::string systemSeparators(std::string_view path);

// Parent folder and name joined as one path, by the rule above.
std::string join(std::string_view parent, std::string_view name);

// A path the records may carry: absolute (as the platform has it), no "."
// or ".." parts (after the rule above), at most kMaxPathBytes. The refusal
// names the path.
Status checkPlain(std::string_view path);

// `path` is `root` or lies below it. Both are read by the rule above and
// compared part by part, without a look at the disk.
bool isInside(std::string_view path, std::string_view root);

// A file or folder name the records can carry as one name: not empty, not
// "." or "..", no separator.
bool isCarriableName(std::string_view name);

}  // namespace quenvara::record_path
