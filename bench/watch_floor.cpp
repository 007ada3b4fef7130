// The least a Windows program can do to watch another one the way the utility does: a
// 200 ms timer on its message queue that reads the program's exit status and the local
// time, and nothing else. It ends when the program has ended. With "window" it also holds
// the same kind of window as the utility, minimised as the utility's is while it watches:
// caption, menu bar and the four controls in the system's message font, with its manifest.
//
//   watch_floor.exe <pid> [window]
#include <cwchar>

#include "app/layout.h"
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

void ShowWindowLikeTheUtility() {
    using namespace czuwajnik::layout;
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = L"Floor";
    RegisterClassW(&windowClass);
    HMENU bar = CreateMenu(), popup = nullptr;
    for (const MenuItem& item : kMenu) {
        if (item.parent == 0) popup = CreatePopupMenu();
        if (item.parent == 0) AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), item.caption);
        else AppendMenuW(popup, item.caption != nullptr ? MF_STRING : MF_SEPARATOR, item.id, item.caption);
    }

    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    const auto px = [dpi](int twips) { return MulDiv(twips, dpi, kTwipsPerInch); };
    HWND window = CreateWindowExW(0, L"Floor", kCaption, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT,
                                  CW_USEDEFAULT, px(kClientWidthTwips), px(kClientHeightTwips), nullptr, bar, nullptr,
                                  nullptr);
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
    for (const Control& control : kControls) {
        HWND child = CreateWindowExW(0, control.kind == Kind::Label ? L"STATIC" : L"BUTTON", control.text,
                                     WS_CHILD | WS_VISIBLE | (control.kind == Kind::CheckBox ? BS_AUTOCHECKBOX : 0),
                                     px(control.left), px(control.top), px(control.width), px(control.height), window,
                                     reinterpret_cast<HMENU>(static_cast<UINT_PTR>(control.id)), nullptr, nullptr);
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    ShowWindow(window, SW_SHOWNORMAL);
    ShowWindow(window, SW_MINIMIZE);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    wchar_t* rest = nullptr;
    const auto pid = static_cast<DWORD>(wcstoul(commandLine, &rest, 10));
    UniqueHandle watched(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid));
    if (!watched) return 1;
    gWatched = watched.get();
    if (wcsstr(rest, L"window") != nullptr) ShowWindowLikeTheUtility();
    if (SetTimer(nullptr, 0, 200, Tick) == 0) return 1;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
}
