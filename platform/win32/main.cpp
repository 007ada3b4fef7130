#include <cstdlib>
#include <string_view>

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

// The text after the utility's own name. Windows also starts a program by a path with blanks
// written unquoted (a Run key, a scheduled task); where the command line begins with the
// utility's own full path so written, that is its name, not just the path's first word.
std::wstring Arguments(const wchar_t* afterFirstWord) {
    const std::wstring_view line = GetCommandLineW();
    std::wstring own(MAX_PATH, L'\0');
    own.resize(GetModuleFileNameW(nullptr, own.data(), MAX_PATH));
    const auto length = static_cast<int>(own.size());
    const bool unquoted = !own.empty() && line.size() >= own.size() &&
                          (line.size() == own.size() || line[own.size()] == L' ' || line[own.size()] == L'\t') &&
                          CompareStringOrdinal(line.data(), length, own.data(), length, TRUE) == CSTR_EQUAL;
    return unquoted ? std::wstring(line.substr(own.size())) : afterFirstWord;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showCommand) {
    RestrictDllSearchToSystemFolder();
    czuwajnik::win32::Win32Platform platform(instance, Arguments(commandLine));
    czuwajnik::Form1 form(platform);
    return platform.Run(form, showCommand);
}
