// czuwajnik.com, the console twin: the same program, for terminals and scripts. The command prompt
// and PowerShell find it before czuwajnik.exe for "czuwajnik" typed without its extension, wait for
// it and read its exit code; its messages are text on the standard streams, never boxes.

#include "platform/win32/win32_platform.h"

namespace {

// With no arguments the window opens as from a shortcut. A console program would hold the terminal
// while it shows, so the windowed program beside this one opens it, and this one ends at once.
int OpenWindow() {
    czuwajnik::win32::Win32Platform platform(nullptr);
    const std::wstring exe = platform.ownFolder() + L"czuwajnik.exe";
    try {
        platform.startProgram(exe, L"", SW_SHOWNORMAL, czuwajnik::Streams::Own);
        return 0;
    } catch (const czuwajnik::SystemError& error) {
        czuwajnik::win32::WriteText(STD_ERROR_HANDLE, L"Nie można otworzyć okna Czuwajnika:\r\n" + exe + L"\r\n\r\n" +
                                                          error.reason());
        return static_cast<int>(error.code());
    }
}

}  // namespace

int wmain() {
    const std::wstring arguments = czuwajnik::win32::Arguments();
    if (arguments.find_first_not_of(L" \t") == std::wstring::npos) return OpenWindow();
    return czuwajnik::win32::Main(arguments, SW_SHOWNORMAL, true);
}
