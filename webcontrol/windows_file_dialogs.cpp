#include "webcontrol/windows_file_dialogs.h"

#include <windows.h>

#include <commdlg.h>
#include <shlobj.h>

#include <vector>

#include "platform/path_text.h"

namespace quenvara::webcontrol {

namespace {

// Long enough for any path the system gives back.
constexpr DWORD kPathRoom = 32768;

std::string utf8Of(const wchar_t* text) {
    return platform::utf8Text(std::filesystem::path(text));
}

// The folder browser needs COM on the calling thread: a page's thread has
// it already, the browser host's dialog thread gets it here.
class ComOnThisThread {
  public:
    ComOnThisThread()
        : mine_(SUCCEEDED(
              ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
    ~ComOnThisThread() {
        if (mine_) {
            ::CoUninitialize();
        }
    }
    ComOnThisThread(const ComOnThisThread&) = delete;
    ComOnThisThread& operator=(const ComOnThisThread&) = delete;

  private:
    bool mine_;
};

}  // namespace

std::optional<std::string> WindowsFileDialogs::browseFolder(std::string_view title) {
    const ComOnThisThread com;
    const std::wstring wideTitle = platform::utf8Path(title).native();
    BROWSEINFOW info{};
    info.hwndOwner = ::GetActiveWindow();
    info.lpszTitle = wideTitle.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderW(&info);
    if (chosen == nullptr) {
        return std::nullopt;
    }
    std::vector<wchar_t> path(kPathRoom, L'\0');
    const bool named = ::SHGetPathFromIDListEx(chosen, path.data(), kPathRoom, GPFIDL_DEFAULT) != 0;
    ::CoTaskMemFree(chosen);
    if (!named) {
        return std::nullopt;  // a place with no file-system path (a printer, the network)
    }
    return utf8Of(path.data());
}

std::optional<std::string> WindowsFileDialogs::openFile(std::string_view title) {
    const ComOnThisThread com;
    const std::wstring wideTitle = platform::utf8Path(title).native();
    std::vector<wchar_t> path(kPathRoom, L'\0');
    OPENFILENAMEW info{};
    info.lStructSize = sizeof info;
    info.hwndOwner = ::GetActiveWindow();
    info.lpstrFilter = L"*.*\0*.*\0";
    info.lpstrFile = path.data();
    info.nMaxFile = kPathRoom;
    info.lpstrTitle = wideTitle.c_str();
    info.Flags =
        OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (::GetOpenFileNameW(&info) == 0) {
        return std::nullopt;
    }
    return utf8Of(path.data());
}

}  // namespace quenvara::webcontrol
