// czuwajnik.com, the console twin: the same program, for terminals and scripts. The command prompt
// and PowerShell find it before czuwajnik.exe for "czuwajnik" typed without its extension, wait for
// it and read its exit code; its messages are text on the standard streams, never boxes.

#include "platform/win32/win32_platform.h"

namespace {

// With no arguments the window opens as from a shortcut. A console program would hold the terminal
// while it shows, so the windowed program beside this one opens it, and this one ends at once.
int OpenWindow() {
    const std::wstring exe = czuwajnik::win32::Win32Platform(nullptr).ownFolder() + L"czuwajnik.exe";
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        const DWORD code = GetLastError();
        czuwajnik::win32::WriteText(STD_ERROR_HANDLE, L"Nie można otworzyć okna Czuwajnika:\r\n" + exe + L"\r\n\r\n" +
                                                          czuwajnik::win32::ErrorText(code));
        return static_cast<int>(code);
    }
    const czuwajnik::win32::UniqueHandle thread(process.hThread), started(process.hProcess);
    return 0;
}

}  // namespace

int wmain() {
    const std::wstring arguments = czuwajnik::win32::Arguments();
    if (arguments.find_first_not_of(L" \t") == std::wstring::npos) return OpenWindow();
    return czuwajnik::win32::Main(arguments, SW_SHOWNORMAL, true);
}
