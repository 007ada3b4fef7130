// Power: the request to stay awake, the power source, and sleep, hibernation and shutdown.

#include "platform/win32/win32_platform.h"

namespace czuwajnik::win32 {
namespace {

// The system's refusal, with its code; where it gives none, "not supported", never a success.
SystemError Refusal() {
    const DWORD code = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_NOT_SUPPORTED;
    return SystemError(ErrorText(code), code);
}

}  // namespace

void Win32Platform::keepSystemAwake(bool awake) {
    SetThreadExecutionState(awake ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS);
}

std::optional<bool> Win32Platform::onBattery() {
    SYSTEM_POWER_STATUS status{};
    if (!GetSystemPowerStatus(&status) || status.ACLineStatus > 1) return std::nullopt;  // 255: unknown
    return status.ACLineStatus == 0;
}

// Each needs the right to shut the system down, which a user holds but has not turned on. Where it
// is not held, the call itself is refused with the reason.
void Win32Platform::powerDown(PowerAction action) {
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) {
        const UniqueHandle owned(token);
        TOKEN_PRIVILEGES shutdown{1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
        if (LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &shutdown.Privileges[0].Luid))
            AdjustTokenPrivileges(token, FALSE, &shutdown, 0, nullptr, nullptr);
    }
    if (action == PowerAction::ShutDown) {
        // As the Start menu does it: every program is asked to close and may refuse, so nothing unsaved is
        // lost; only one that does not answer (hung) is closed, so that it cannot keep the computer on.
        SetLastError(ERROR_SUCCESS);
        if (!ExitWindowsEx(EWX_SHUTDOWN | EWX_POWEROFF | EWX_FORCEIFHUNG,
                           SHTDN_REASON_MAJOR_OTHER | SHTDN_REASON_FLAG_PLANNED))
            throw Refusal();
        return;
    }
    using IsAllowedFn = BOOLEAN(WINAPI*)();
    using SuspendFn = BOOLEAN(WINAPI*)(BOOLEAN hibernate, BOOLEAN force, BOOLEAN noWakeEvents);
    static const auto hibernationAllowed = SystemFunction<IsAllowedFn>(L"powrprof.dll", "IsPwrHibernateAllowed");
    static const auto suspend = SystemFunction<SuspendFn>(L"powrprof.dll", "SetSuspendState");
    const bool hibernate = action == PowerAction::Hibernate;
    if (hibernate && hibernationAllowed != nullptr && !hibernationAllowed())
        throw SystemError(L"Hibernacja jest w tym systemie wyłączona (włącza ją administrator poleceniem "
                          L"powercfg /hibernate on).",
                          ERROR_NOT_SUPPORTED);
    if (suspend == nullptr)
        throw SystemError(L"SetSuspendState (powrprof.dll): " + ErrorText(ERROR_PROC_NOT_FOUND), ERROR_PROC_NOT_FOUND);
    SetLastError(ERROR_SUCCESS);
    if (!suspend(hibernate, FALSE, FALSE)) throw Refusal();
}

}  // namespace czuwajnik::win32
