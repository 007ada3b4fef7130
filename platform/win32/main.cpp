#include "platform/win32/win32_platform.h"

namespace {

// System DLLs come from the system folder only. Windows 7 has the call only with an
// update installed, so it is looked up rather than imported.
void RestrictDllSearchToSystemFolder() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const auto setDirectories =
        czuwajnik::win32::SystemFunction<SetDefaultDllDirectoriesFn>(L"kernel32.dll", "SetDefaultDllDirectories");
    if (setDirectories != nullptr) setDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    RestrictDllSearchToSystemFolder();
    czuwajnik::win32::Win32Platform platform(instance);
    czuwajnik::Form1 form(platform);
    return platform.Run(form, showCommand);
}
