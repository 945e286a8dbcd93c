#include "webcontrol/dispatch_table.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace quenvara::webcontrol {

namespace {

using T = ValueType;

const char* typeName(ValueType type) {
    switch (type) {
        case T::Long:
            return "a whole number";
        case T::Double:
            return "a number";
        case T::Text:
            return "a text";
        case T::Bool:
            return "true or false";
        case T::None:
        case T::Variant:
            break;
    }
    return "a value";
}

// A whole text that reads as a finite number (blanks around it allowed),
// as the page's script engine would convert it.
std::optional<double> numberIn(const std::string& text) {
    const char* begin = text.c_str();
    while (std::isspace(static_cast<unsigned char>(*begin))) {
        ++begin;
    }
    if (*begin == '\0') {
        return std::nullopt;
    }
    char* end = nullptr;
    const double value = std::strtod(begin, &end);
    while (std::isspace(static_cast<unsigned char>(*end))) {
        ++end;
    }
    if (*end != '\0' || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::string textOf(double value) {
    char buffer[32];
    const auto done = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, done.ptr);
}

// The page's value as the member's type, converted the way a script value
// converts (a number text to its number, a number to its text, a number
// with a fraction rounded to a whole one); nothing when it cannot be.
std::optional<ControlValue> coerce(const ControlValue& value, ValueType type) {
    std::optional<double> number;
    if (const auto* v = std::get_if<std::int32_t>(&value)) {
        number = *v;
    } else if (const auto* d = std::get_if<double>(&value)) {
        number = std::isfinite(*d) ? std::optional<double>(*d) : std::nullopt;
    } else if (const auto* b = std::get_if<bool>(&value)) {
        number = *b ? -1 : 0;  // the script engine's true
    } else if (const auto* t = std::get_if<std::string>(&value)) {
        number = numberIn(*t);
    }
    switch (type) {
        case T::Text:
            if (std::holds_alternative<std::string>(value)) {
                return value;
            }
            if (const auto* v = std::get_if<std::int32_t>(&value)) {
                return std::to_string(*v);
            }
            if (const auto* d = std::get_if<double>(&value); d != nullptr && number) {
                return textOf(*d);
            }
            break;
        case T::Long:
            if (number) {
                const double rounded = std::nearbyint(*number);  // to even, as the engine does
                if (rounded >= std::numeric_limits<std::int32_t>::min() &&
                    rounded <= std::numeric_limits<std::int32_t>::max()) {
                    return static_cast<std::int32_t>(rounded);
                }
            }
            break;
        case T::Double:
            if (number) {
                return *number;
            }
            break;
        case T::Bool:
            if (std::holds_alternative<bool>(value)) {
                return value;
            }
            if (number && !std::holds_alternative<std::string>(value)) {
                return *number != 0;
            }
            break;
        case T::None:
        case T::Variant:
            return value;
    }
    return std::nullopt;
}

const std::string& text(const std::vector<ControlValue>& a, std::size_t i) {
    return std::get<std::string>(a[i]);
}
std::int32_t number(const std::vector<ControlValue>& a, std::size_t i) {
    return std::get<std::int32_t>(a[i]);
}

ControlValue call(CQuenvaraUploadControlCtrl& c, int id, const std::vector<ControlValue>& a) {
    switch (id) {
        case 1:
            if (a.empty()) {
                return c.strCmdServerIP();
            }
            c.setStrCmdServerIP(text(a, 0));
            return {};
        case 2:
            if (a.empty()) {
                return c.dwServerPort();
            }
            c.setDwServerPort(number(a, 0));
            return {};
        case 3:
            if (a.empty()) {
                return c.nUpActiveType();
            }
            c.setNUpActiveType(number(a, 0));
            return {};
        case 4:
            return c.ShowSelectDlg(number(a, 0));
        case 5:
            return c.GetFileSize();
        case 6:
            return c.GetFileName();
        case 7:
            return c.GetRealFileSize();
        case 8:
            return c.GetFileList();
        case 9:
            c.SetUpValue(text(a, 0), text(a, 1));
            return {};
        case 10:
            c.RunUploadModule();
            return {};
        case 11:
            return c.IsOpenSelectDlg();
        case 12:
            return c.IsSucessed();
        case 13:
            return c.CheckUploadFileSize(text(a, 0));
        case 14:
            return c.GetAllFileCount();
        case 15:
            return c.GetAllFileList(number(a, 0));
        case 16:
            return c.GetMusicCount();
        case 17:
            return c.GetMusicInfo(number(a, 0));
        case 18:
            c.SetMaxFileCount(number(a, 0));
            return {};
        case 19:
            c.SetOrvaneFile(text(a, 0));
            return {};
        default:
            return {};
    }
}

}  // namespace

const std::vector<DispatchMember>& dispatchMembers() {
    static const std::vector<DispatchMember> members = {
        {1, "strCmdServerIP", true, {T::Text}, T::Text},
        {2, "dwServerPort", true, {T::Long}, T::Long},
        {3, "nUpActiveType", true, {T::Long}, T::Long},
        {4, "ShowSelectDlg", false, {T::Long}, T::Text},
        {5, "GetFileSize", false, {}, T::Text},
        {6, "GetFileName", false, {}, T::Text},
        {7, "GetRealFileSize", false, {}, T::Double},
        {8, "GetFileList", false, {}, T::Text},
        {9, "SetUpValue", false, {T::Text, T::Text}, T::None},
        {10, "RunUploadModule", false, {}, T::None},
        {11, "IsOpenSelectDlg", false, {}, T::Bool},
        {12, "IsSucessed", false, {}, T::Bool},
        {13, "CheckUploadFileSize", false, {T::Text}, T::Bool},
        {14, "GetAllFileCount", false, {}, T::Long},
        {15, "GetAllFileList", false, {T::Long}, T::Variant},
        {16, "GetMusicCount", false, {}, T::Long},
        {17, "GetMusicInfo", false, {T::Long}, T::Variant},
        {18, "SetMaxFileCount", false, {T::Long}, T::None},
        {19, "SetOrvaneFile", false, {T::Text}, T::None},
    };
    return members;
}

const DispatchMember* findMember(int id) {
    for (const auto& m : dispatchMembers()) {
        if (m.id == id) {
            return &m;
        }
    }
    return nullptr;
}

const DispatchMember* findMember(std::string_view name) {
    for (const auto& m : dispatchMembers()) {
        if (m.name == name) {
            return &m;
        }
    }
    return nullptr;
}

Result<ControlValue> invoke(CQuenvaraUploadControlCtrl& control, const DispatchMember& member,
                            const std::vector<ControlValue>& arguments) {
    const std::size_t wanted =
        member.property ? (arguments.empty() ? 0 : 1) : member.arguments.size();
    if (arguments.size() != wanted) {
        return Result<ControlValue>::failure(
            std::string(member.name) + " takes " +
            (member.property ? std::string("no argument (read) or one (write)")
                             : std::to_string(member.arguments.size()) + " argument(s)") +
            ", not " + std::to_string(arguments.size()));
    }
    std::vector<ControlValue> typed;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        auto value = coerce(arguments[i], member.arguments[i]);
        if (!value) {
            return Result<ControlValue>::failure("argument " + std::to_string(i + 1) + " of " +
                                                 std::string(member.name) + " must be " +
                                                 typeName(member.arguments[i]));
        }
        typed.push_back(std::move(*value));
    }
    return call(control, member.id, typed);
}

Result<ControlValue> invoke(CQuenvaraUploadControlCtrl& control, std::string_view name,
                            const std::vector<ControlValue>& arguments) {
    const auto* member = findMember(name);
    if (member == nullptr) {
        return Result<ControlValue>::failure("the control has no member " + std::string(name));
    }
    return invoke(control, *member, arguments);
}

}  // namespace quenvara::webcontrol
