// The console, for the console twin: text written to the standard streams, and Ctrl+C.

#include "platform/win32/win32_platform.h"

namespace czuwajnik::win32 {
namespace {

HWND gSignalled = nullptr;  // the window told of a console signal
constexpr DWORD kClosingMs = 4000;  // Windows ends a process 5 s after its console is closed

BOOL WINAPI OnConsoleSignal(DWORD signal) {
    PostMessageW(gSignalled, kConsoleSignal, 0, 0);
    // Once this returns, the system ends the process; the window's thread ends it first, with its code.
    if (signal == CTRL_CLOSE_EVENT) Sleep(kClosingMs);
    return TRUE;
}

}  // namespace

void WriteText(DWORD stream, const std::wstring& text) {
    const HANDLE out = GetStdHandle(stream);
    const std::wstring line = text + L"\r\n";
    DWORD mode = 0, written = 0;
    if (GetConsoleMode(out, &mode)) {
        WriteConsoleW(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        return;
    }
    const UINT codePage = GetConsoleOutputCP() != 0 ? GetConsoleOutputCP() : GetOEMCP();
    const int size = WideCharToMultiByte(codePage, 0, line.data(), static_cast<int>(line.size()), nullptr, 0, nullptr,
                                         nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, line.data(), static_cast<int>(line.size()), bytes.data(), size, nullptr, nullptr);
    WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void PostConsoleSignals(HWND window) {
    gSignalled = window;
    SetConsoleCtrlHandler(OnConsoleSignal, TRUE);
}

}  // namespace czuwajnik::win32
