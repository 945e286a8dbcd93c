#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace quenvara::webcontrol {

// A member's argument or result, as a page's script sees it: nothing, a
// BOOL, a long, a double or a text (UTF-8).
using ControlValue = std::variant<std::monostate, bool, std::int32_t, double, std::string>;

}  // namespace quenvara::webcontrol
