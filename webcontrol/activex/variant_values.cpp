#include "webcontrol/activex/variant_values.h"

#include <windows.h>

#include <cmath>
#include <filesystem>
#include <limits>

#include "platform/path_text.h"

namespace quenvara::webcontrol::activex {

namespace {

std::optional<ControlValue> wholeOrDouble(double v) {
    if (std::trunc(v) == v && v >= std::numeric_limits<std::int32_t>::min() &&
        v <= std::numeric_limits<std::int32_t>::max()) {
        return ControlValue{static_cast<std::int32_t>(v)};
    }
    return ControlValue{v};
}

}  // namespace

// Through the platform's path texts, the one place UTF-16 meets UTF-8.
std::string utf8FromWide(std::wstring_view text) {
    return platform::utf8Text(std::filesystem::path(std::wstring(text)));
}

std::wstring wideFromUtf8(const std::string& text) {
    return platform::utf8Path(text).native();
}

std::optional<ControlValue> controlValueOf(const VARIANT& given) {
    VARIANT value;
    ::VariantInit(&value);
    // Scripts pass variables by reference; their values are what counts.
    if (FAILED(::VariantCopyInd(&value, const_cast<VARIANT*>(&given)))) {
        return std::nullopt;
    }
    struct Clear {
        VARIANT& v;
        ~Clear() { ::VariantClear(&v); }
    } clear{value};
    switch (value.vt) {
        case VT_EMPTY:
        case VT_NULL:
            return ControlValue{};
        case VT_BOOL:
            return ControlValue{value.boolVal != VARIANT_FALSE};
        case VT_BSTR:
            return ControlValue{
                value.bstrVal ? utf8FromWide({value.bstrVal, ::SysStringLen(value.bstrVal)}) : ""};
        case VT_I1:
            return ControlValue{static_cast<std::int32_t>(value.cVal)};
        case VT_UI1:
            return ControlValue{static_cast<std::int32_t>(value.bVal)};
        case VT_I2:
            return ControlValue{static_cast<std::int32_t>(value.iVal)};
        case VT_UI2:
            return ControlValue{static_cast<std::int32_t>(value.uiVal)};
        case VT_I4:
        case VT_INT:
            return ControlValue{static_cast<std::int32_t>(value.lVal)};
        case VT_UI4:
        case VT_UINT:
            return wholeOrDouble(static_cast<double>(value.ulVal));
        case VT_I8:
            return wholeOrDouble(static_cast<double>(value.llVal));
        case VT_UI8:
            return wholeOrDouble(static_cast<double>(value.ullVal));
        case VT_R4:
            return ControlValue{static_cast<double>(value.fltVal)};
        case VT_R8:
            return ControlValue{value.dblVal};
        default:
            return std::nullopt;
    }
}

bool putResult(const ControlValue& value, VARIANT& result) {
    ::VariantInit(&result);
    if (const auto* flag = std::get_if<bool>(&value)) {
        result.vt = VT_BOOL;
        result.boolVal = *flag ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (const auto* number = std::get_if<std::int32_t>(&value)) {
        result.vt = VT_I4;
        result.lVal = *number;
    } else if (const auto* real = std::get_if<double>(&value)) {
        result.vt = VT_R8;
        result.dblVal = *real;
    } else if (const auto* text = std::get_if<std::string>(&value)) {
        const std::wstring wide = wideFromUtf8(*text);
        result.bstrVal = ::SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
        if (result.bstrVal == nullptr) {
            return false;
        }
        result.vt = VT_BSTR;
    }
    return true;
}

}  // namespace quenvara::webcontrol::activex
