// The machine's forced power-off: ExitWindowsEx after enabling the shutdown
// privilege (SE_SHUTDOWN_NAME) in the process token. QUENVARA_SHUTDOWN_COMMAND,
// run by cmd.exe, stands in for it, as on Linux.
#include <windows.h>

#include "platform/shutdown.h"

namespace quenvara::platform {
namespace {

DWORD enableShutdownPrivilege() {
    HANDLE token = nullptr;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token) ==
        0) {
        return ::GetLastError();
    }
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    DWORD error = ERROR_SUCCESS;
    if (::LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid) == 0 ||
        ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) == 0) {
        error = ::GetLastError();
    } else {
        error = ::GetLastError();  // ERROR_NOT_ALL_ASSIGNED when the user may not
    }
    ::CloseHandle(token);
    return error;
}

}  // namespace

Shutdown::Outcome CommandShutdown::powerOff() {
    if (auto custom = env_("QUENVARA_SHUTDOWN_COMMAND"); custom && !custom->empty()) {
        const auto r = launcher_.run({"cmd.exe", "/c", *custom});
        if (!r.started) {
            return {Stage::NotStarted, r.error};
        }
        return r.exitStatus != 0 ? Outcome{Stage::Failed, r.exitStatus} : Outcome{};
    }
    if (const DWORD error = enableShutdownPrivilege(); error != ERROR_SUCCESS) {
        return {Stage::NotStarted, static_cast<int>(error)};
    }
    if (::ExitWindowsEx(EWX_POWEROFF | EWX_FORCE,
                        SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_FLAG_PLANNED) == 0) {
        return {Stage::Failed, static_cast<int>(::GetLastError())};
    }
    return {};
}

}  // namespace quenvara::platform
