// The running processes' executable file names from a Toolhelp snapshot
// (the class keeps its name: callers pick it as the system's table).
#include <windows.h>

#include <tlhelp32.h>

#include "platform/path_text.h"
#include "platform/process_table.h"

namespace quenvara::platform {

bool ProcProcessTable::snapshot(std::vector<std::string>& executableNames) const {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return false;
    }
    executableNames.clear();
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more != 0;
         more = ::Process32NextW(snapshot, &entry)) {
        executableNames.push_back(utf8Text(std::filesystem::path(entry.szExeFile)));
    }
    ::CloseHandle(snapshot);
    return true;
}

}  // namespace quenvara::platform
