#include "platform/message_box_notices.h"

#include <windows.h>

#include <string>

#include "platform/path_text.h"

namespace quenvara::platform {

namespace {

std::wstring wide(std::string_view text) {
    return utf8Path(text).native();
}

UINT iconFlag(NoticeIcon icon) {
    switch (icon) {
        case NoticeIcon::Information:
            return MB_ICONINFORMATION;
        case NoticeIcon::Question:
            return MB_ICONQUESTION;
        case NoticeIcon::Warning:
            return MB_ICONWARNING;
        case NoticeIcon::Stop:
            return MB_ICONSTOP;
        case NoticeIcon::None:
            break;
    }
    return 0;
}

// user32's timed box has no header declaration; it is looked up by name.
using MessageBoxTimeoutW = int(WINAPI*)(HWND, LPCWSTR, LPCWSTR, UINT, WORD, DWORD);

}  // namespace

NoticeAnswer MessageBoxNotices::messageBox(std::string_view text, std::string_view caption,
                                           NoticeButtons buttons, NoticeIcon icon) {
    const UINT flags =
        (buttons == NoticeButtons::YesNo ? MB_YESNO : MB_OK) | iconFlag(icon) | MB_SETFOREGROUND;
    const int answer =
        ::MessageBoxW(::GetActiveWindow(), wide(text).c_str(), wide(caption).c_str(), flags);
    if (buttons == NoticeButtons::Ok) {
        return NoticeAnswer::Ok;
    }
    return answer == IDYES ? NoticeAnswer::Yes : NoticeAnswer::No;
}

void MessageBoxNotices::autoClosingBox(std::string_view text, std::string_view caption,
                                       int seconds) {
    const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    const auto timed = user32 ? reinterpret_cast<MessageBoxTimeoutW>(reinterpret_cast<void*>(
                                    ::GetProcAddress(user32, "MessageBoxTimeoutW")))
                              : nullptr;
    const UINT flags = MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND;
    if (timed == nullptr) {
        ::MessageBoxW(::GetActiveWindow(), wide(text).c_str(), wide(caption).c_str(), flags);
        return;
    }
    timed(::GetActiveWindow(), wide(text).c_str(), wide(caption).c_str(), flags, 0,
          static_cast<DWORD>(seconds > 0 ? seconds : 1) * 1000);
}

}  // namespace quenvara::platform
