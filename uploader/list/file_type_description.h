#pragma once

#include <string>
#include <string_view>

namespace quenvara::uploader {

// The kind text of a file row, from its name alone.
std::string FileTypeDescription(std::string_view name);

}  // namespace quenvara::uploader
