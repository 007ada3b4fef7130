#include "platform/win32/win32_platform.h"

namespace {

// System DLLs come from the system folder only. Windows 7 has the call only with an
// update installed, so it is looked up rather than imported.
void RestrictDllSearchToSystemFolder() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    auto setDirectories = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel32, "SetDefaultDllDirectories")));
    if (setDirectories != nullptr) setDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    RestrictDllSearchToSystemFolder();
    czuwajnik::win32::Win32Platform platform(instance);
    czuwajnik::Form1 form(platform);
    return platform.Run(form, showCommand);
}
