// Starting programs with CreateProcessW: the program is looked up as the
// system looks up a command's first word, and the arguments are quoted so
// that the C runtime of the started program reads them back as they were.
#include <windows.h>

#include <cerrno>

#include "platform/launcher.h"
#include "platform/path_text.h"

namespace quenvara::platform {
namespace {

std::wstring quoted(const std::string& utf8) {
    const std::wstring arg = utf8Path(utf8).native();
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        return arg;
    }
    // Backslashes count only before a quote: doubled there and before the
    // closing quote, kept as they are elsewhere.
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    out += L'"';
    return out;
}

int errnoOf(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
            return EACCES;
        case ERROR_BAD_EXE_FORMAT:
            return ENOEXEC;
        default:
            return EIO;
    }
}

int create(const std::vector<std::string>& argv, bool detached, PROCESS_INFORMATION& process) {
    if (argv.empty()) {
        return EINVAL;
    }
    std::wstring commandLine;
    for (const auto& a : argv) {
        commandLine += (commandLine.empty() ? L"" : L" ") + quoted(a);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    // A program left running is not ended with its starter's console.
    const DWORD flags = CREATE_UNICODE_ENVIRONMENT | (detached ? CREATE_NEW_PROCESS_GROUP : 0);
    if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, flags, nullptr,
                         nullptr, &startup, &process) == 0) {
        return errnoOf(::GetLastError());
    }
    return 0;
}

}  // namespace

Launcher::Outcome SpawnLauncher::run(const std::vector<std::string>& argv) {
    Outcome out;
    PROCESS_INFORMATION process{};
    out.error = create(argv, false, process);
    if (out.error != 0) {
        return out;
    }
    out.started = true;
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 127;
    ::GetExitCodeProcess(process.hProcess, &code);
    out.exitStatus = static_cast<int>(code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return out;
}

Launcher::Outcome SpawnLauncher::start(const std::vector<std::string>& argv) {
    Outcome out;
    PROCESS_INFORMATION process{};
    out.error = create(argv, true, process);
    if (out.error != 0) {
        return out;
    }
    out.started = true;
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return out;
}

std::vector<std::string> browserCommand(const std::string& url) {
    return {"rundll32.exe", "url.dll,FileProtocolHandler", url};
}

}  // namespace quenvara::platform
