// Does what the shell does when the user clicks the uploader's tray icon:
// sends the icon's callback message (2024, identifier 160) to the window
// captioned "퀜바라 파일 올리기", with a right button's release ("menu", the
// pointer put at X,Y first, where the menu opens) or a left double click
// ("double"). Exits with 1 when there is no such window.
//   tray_message menu X Y | tray_message double
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        return 2;
    }
    HWND window = ::FindWindowW(nullptr, L"퀜바라 파일 올리기");
    if (window == nullptr) {
        return 1;
    }
    const bool menu = std::wcscmp(argv[1], L"menu") == 0;
    if (menu && argc >= 4) {
        ::SetCursorPos(_wtoi(argv[2]), _wtoi(argv[3]));
    }
    // Posted, as the shell does: the menu's loop runs in the uploader, not here.
    return ::PostMessageW(window, 2024, 160, menu ? WM_RBUTTONUP : WM_LBUTTONDBLCLK) ? 0 : 1;
}
