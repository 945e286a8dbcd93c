#pragma once

#include <oaidl.h>

#include <optional>
#include <string>
#include <string_view>

#include "webcontrol/control_value.h"

namespace quenvara::webcontrol::activex {

// A script's argument as the dispatch table takes it: nothing, a BOOL, a
// whole number that fits a long, any other number as a double, or a text
// (UTF-8). References are followed; anything else (objects, arrays, dates)
// is no value the control takes.
std::optional<ControlValue> controlValueOf(const VARIANT& value);

// A member's result as the script gets it; false when no text could be
// allocated.
bool putResult(const ControlValue& value, VARIANT& result);

// Texts between UTF-16 (BSTR) and our UTF-8.
std::string utf8FromWide(std::wstring_view text);
std::wstring wideFromUtf8(const std::string& text);

}  // namespace quenvara::webcontrol::activex
