// The least a Windows program can do to watch another one the way the utility does: a
// 200 ms timer on its message queue that reads the program's exit status and the local
// time, and nothing else. It ends when the program has ended.
//
//   watch_floor.exe <pid>
#include <cwchar>

#include "handle.h"

namespace {

HANDLE gWatched = nullptr;
SYSTEMTIME gNow;

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    DWORD code = 0;
    if (GetExitCodeProcess(gWatched, &code) && code != STILL_ACTIVE) {
        PostQuitMessage(0);
        return;
    }
    GetLocalTime(&gNow);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    const auto pid = static_cast<DWORD>(wcstoul(commandLine, nullptr, 10));
    UniqueHandle watched(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid));
    if (!watched) return 1;
    gWatched = watched.get();
    if (SetTimer(nullptr, 0, 200, Tick) == 0) return 1;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
}
