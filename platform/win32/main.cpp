#include <cstdlib>

#include "platform/win32/win32_platform.h"

// What the C++ library does with an exception that nothing catches (none is let through): its
// default prints the exception's type to a console this program does not have, through a
// demangler that is a fifth of the exe. This ends the program the same way, without them.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

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

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showCommand) {
    RestrictDllSearchToSystemFolder();
    czuwajnik::win32::Win32Platform platform(instance, commandLine);
    czuwajnik::Form1 form(platform);
    return platform.Run(form, showCommand);
}
