#include <cstdlib>
#include <string_view>

#include "platform/win32/win32_platform.h"

// What the C++ library does with an exception that nothing catches (none is let through): its
// default prints the exception's type to a console this program does not have, through a
// demangler that is a fifth of the exe. This ends the program the same way, without them.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace czuwajnik::win32 {
namespace {

// System DLLs come from the system folder only. Windows 7 has the call only with an
// update installed, so it is looked up rather than imported.
void RestrictDllSearchToSystemFolder() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const auto setDirectories = SystemFunction<SetDefaultDllDirectoriesFn>(L"kernel32.dll", "SetDefaultDllDirectories");
    if (setDirectories != nullptr) setDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace

// The text after the utility's own name: after the first word, up to a blank outside double quotes,
// as Windows reads a program's name. Windows also starts a program by a path with blanks written
// unquoted (a Run key, a scheduled task); where the command line begins with the utility's own full
// path so written, that is its name, not just the path's first word.
std::wstring Arguments() {
    const std::wstring_view line = GetCommandLineW();
    std::wstring own(MAX_PATH, L'\0');
    own.resize(GetModuleFileNameW(nullptr, own.data(), MAX_PATH));
    const auto length = static_cast<int>(own.size());
    const bool unquoted = !own.empty() && line.size() >= own.size() &&
                          (line.size() == own.size() || line[own.size()] == L' ' || line[own.size()] == L'\t') &&
                          CompareStringOrdinal(line.data(), length, own.data(), length, TRUE) == CSTR_EQUAL;
    std::size_t end = 0;
    for (bool quoted = false; end < line.size() && (quoted || (line[end] != L' ' && line[end] != L'\t')); ++end)
        if (line[end] == L'"') quoted = !quoted;
    return std::wstring(line.substr(unquoted ? own.size() : end));
}

int Main(const std::wstring& arguments, int showCommand, bool console) {
    RestrictDllSearchToSystemFolder();
    Win32Platform platform(GetModuleHandleW(nullptr), arguments, console);
    Form1 form(platform);
    return platform.Run(form, showCommand);
}

}  // namespace czuwajnik::win32

// czuwajnik.exe, the windowed program; its console twin, czuwajnik.com, comes in at main_console.cpp.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    return czuwajnik::win32::Main(czuwajnik::win32::Arguments(), showCommand, false);
}
