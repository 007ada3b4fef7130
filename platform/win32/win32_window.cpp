// The windows (the main one and the countdown), their controls, menus, timers, message boxes
// and the open-file dialog.

#include "platform/win32/win32_platform.h"

#include <commdlg.h>

#include <algorithm>
#include <cstdlib>
#include <functional>

namespace czuwajnik::win32 {
namespace {

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr int kTextMarginPixels = 4;    // beside a button's or the check box's text
constexpr int kSmallestFontPixels = 6;  // a font is made no smaller to fit

// The countdown's default button, which Enter presses and which has the focus.
constexpr std::uint16_t kCountdownDefault = [] {
    for (const layout::Control& control : layout::kCountdown)
        if (control.kind == layout::Kind::DefaultButton) return control.id;
    return std::uint16_t{0};
}();

struct ControlClass {
    const wchar_t* className;
    DWORD style;
};

ControlClass ClassOf(layout::Kind kind) {
    switch (kind) {
        case layout::Kind::Button: return {L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP};
        case layout::Kind::DefaultButton: return {L"BUTTON", BS_DEFPUSHBUTTON | WS_TABSTOP};
        case layout::Kind::CheckBox: return {L"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP};
        case layout::Kind::Label: break;
    }
    // A path too wide for the label is drawn with its middle elided; the text itself stays whole.
    return {L"STATIC", SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS};
}

// The common dialogs are loaded, from the system folder, only when first needed: most
// runs never browse, and the library brings several others with it.
using GetOpenFileNameFn = BOOL(WINAPI*)(OPENFILENAMEW*);

GetOpenFileNameFn OpenFileDialogFunction() {
    static const auto function = SystemFunction<GetOpenFileNameFn>(L"comdlg32.dll", "GetOpenFileNameW");
    if (function == nullptr) throw LastError();
    return function;
}

// Dropped files come from the shell's library, which most runs never need.
using DragQueryFileFn = UINT(WINAPI*)(HDROP, UINT, wchar_t*, UINT);
using DragFinishFn = void(WINAPI*)(HDROP);

}  // namespace

int Win32Platform::Run(Form1& form, int showCommand) {
    form_ = &form;
    CreateMainWindow();
    if (console_) PostConsoleSignals(window_);
    Dispatch(&Form1::Form_Load);
    // Started from the command line, the load has already shown it, minimised.
    if (!IsWindowVisible(window_)) ShowWindow(window_, showCommand);
    UpdateWindow(window_);
    SetFocus(Control(layout::kCommand1));

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(window_, &message) || (countdown_ != nullptr && IsDialogMessageW(countdown_, &message)))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

void Win32Platform::CreateMainWindow() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance_;
    windowClass.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(1));
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    for (const wchar_t* name : {layout::kClassName, layout::kCountdownClassName}) {
        windowClass.lpszClassName = name;
        if (RegisterClassExW(&windowClass) == 0) ReportFailure(ErrorText(GetLastError()));
    }

    window_ = CreateWindowExW(WS_EX_ACCEPTFILES, layout::kClassName, layout::kCaption, kWindowStyle, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance_, this);
    if (window_ == nullptr) ReportFailure(ErrorText(GetLastError()));
    CreateMenuBar();
    CreateControls(window_, layout::kControls);
    LayOut(WindowDpi(), nullptr);
}

template <typename Controls>
void Win32Platform::CreateControls(HWND parent, const Controls& controls) {
    for (const layout::Control& control : controls) {
        const ControlClass kind = ClassOf(control.kind);
        HWND child = CreateWindowExW(0, kind.className, control.text, WS_CHILD | WS_VISIBLE | kind.style, 0, 0, 0, 0,
                                     parent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(control.id)), instance_,
                                     nullptr);
        if (child == nullptr) ReportFailure(ErrorText(GetLastError()));
    }
}

// Sized to hold a client area of that many twips, whatever its frame and menu bar take.
void Win32Platform::SizeClientArea(HWND window, int widthTwips, int heightTwips) {
    RECT place, client;
    GetWindowRect(window, &place);
    GetClientRect(window, &client);
    SetWindowPos(window, nullptr, 0, 0, place.right - place.left + Scale(widthTwips) - client.right,
                 place.bottom - place.top + Scale(heightTwips) - client.bottom,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
}

template <typename Controls>
void Win32Platform::PlaceControls(HWND parent, const Controls& controls) {
    for (const layout::Control& control : controls) {
        HWND child = GetDlgItem(parent, control.id);
        SetWindowPos(child, nullptr, Scale(control.left), Scale(control.top), Scale(control.width),
                     Scale(control.height), SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
    }
}

// Every size is in twips, here turned into pixels at `dpi`: the client area, the controls and
// their font. After a DPI change the window first takes the place and size Windows suggests
// (its old size scaled), then is sized to hold the client area, whatever its frame and menu bar
// take at the new DPI.
void Win32Platform::LayOut(int dpi, const RECT* suggested) {
    dpi_ = dpi;
    if (suggested != nullptr)
        SetWindowPos(window_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    SizeClientArea(window_, layout::kClientWidthTwips, layout::kClientHeightTwips);

    // The system's message font, given at the system's DPI; where a text would not fit its
    // control in it (the sizes stay as they are in twips), a little smaller.
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    LOGFONTW& face = metrics.lfMessageFont;
    face.lfHeight = MulDiv(face.lfHeight, dpi_, SystemDpi());
    UniqueFont font(CreateFontIndirectW(&face));
    while (!TextsFit(font.get()) && std::abs(face.lfHeight) > kSmallestFontPixels) {
        face.lfHeight += face.lfHeight < 0 ? 1 : -1;
        font.reset(CreateFontIndirectW(&face));
    }
    std::swap(font_, font);  // the one replaced is deleted once the controls no longer use it
    PlaceControls(window_, layout::kControls);
}

// Whether each button's and the check box's text fits its control in `font`.
bool Win32Platform::TextsFit(HFONT font) const {
    HDC dc = GetDC(window_);
    HGDIOBJ previous = SelectObject(dc, font);
    // The check box's mark, whether it is drawn at the system's DPI or at the window's.
    const int systemMark = GetSystemMetrics(SM_CXMENUCHECK);
    const int mark = std::max(systemMark, MulDiv(systemMark, dpi_, SystemDpi()));
    bool fit = true;
    for (const layout::Control& control : layout::kControls) {
        if (control.kind == layout::Kind::Label) continue;  // a long path is elided there on purpose
        SIZE text{};
        GetTextExtentPoint32W(dc, control.text, lstrlenW(control.text), &text);
        const int room = Scale(control.width) - kTextMarginPixels - (control.kind == layout::Kind::CheckBox ? mark : 0);
        fit = fit && text.cx <= room && text.cy <= Scale(control.height);
    }
    SelectObject(dc, previous);
    ReleaseDC(window_, dc);
    return fit;
}

int Win32Platform::SystemDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

// The DPI of the display the window is on, where Windows (10, from 1607) tells it.
int Win32Platform::WindowDpi() const {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto dpiForWindow = SystemFunction<GetDpiForWindowFn>(L"user32.dll", "GetDpiForWindow");
    return dpiForWindow != nullptr ? static_cast<int>(dpiForWindow(window_)) : SystemDpi();
}

void Win32Platform::CreateMenuBar() {
    HMENU bar = CreateMenu();
    HMENU popup = nullptr;
    for (const layout::MenuItem& item : layout::kMenu) {
        if (item.parent == 0) {
            popup = CreatePopupMenu();
            AppendMenuW(bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(popup), item.caption);
        } else if (item.caption == nullptr) {
            AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
        } else {
            AppendMenuW(popup, MF_STRING, item.id, item.caption);
        }
    }
    SetMenu(window_, bar);
}

LRESULT CALLBACK Win32Platform::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Win32Platform*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Win32Platform*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    return self != nullptr ? self->HandleMessage(window, message, wParam, lParam)
                           : DefWindowProcW(window, message, wParam, lParam);
}

// The main window's messages, and the countdown's.
LRESULT Win32Platform::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const bool countdown = window == countdown_;
    switch (message) {
        case WM_COMMAND: {
            const auto id = LOWORD(wParam);
            const bool fromMenu = lParam == 0 && HIWORD(wParam) == 0;
            const bool clicked = lParam != 0 && HIWORD(wParam) == BN_CLICKED;
            const auto click = [&](const auto& controls) {
                for (const layout::Control& control : controls)
                    if (control.id == id && control.click != nullptr) Dispatch(control.click);
            };
            if (fromMenu && !countdown)
                for (const layout::MenuItem& item : layout::kMenu)
                    if (item.id == id && item.click != nullptr) Dispatch(item.click);
            if (clicked && countdown) click(layout::kCountdown);
            if (clicked && !countdown) click(layout::kControls);
            return 0;
        }
        case WM_TIMER:
            for (const layout::Timer& timer : layout::kTimers)
                if (static_cast<WPARAM>(timer.id) == wParam) Dispatch(timer.tick);
            return 0;
        case WM_CLOSE:
            Dispatch(countdown ? &Form1::cmdAnuluj_Click : &Form1::Form_Unload);
            return 0;
        case WM_ACTIVATE:  // the countdown, each time it becomes active, has the focus on its default button
            if (!countdown || LOWORD(wParam) == WA_INACTIVE) break;
            SetFocus(GetDlgItem(window, kCountdownDefault));
            return 0;
        case DM_GETDEFID:  // the button Enter presses, as the dialog manager asks
            if (countdown) return MAKELRESULT(kCountdownDefault, DC_HASDEFID);
            break;
        case kConsoleSignal:
            Dispatch(&Form1::Form_Interrupt);
            return 0;
        case WM_POWERBROADCAST:  // sent to each top-level window: the main one answers
            if (!countdown && (wParam == PBT_APMRESUMEAUTOMATIC || wParam == PBT_APMRESUMESUSPEND))
                Dispatch(&Form1::Form_Resume);
            return TRUE;
        case WM_DPICHANGED:  // moved to a display of another scale, or the scale changed
            if (countdown) break;
            LayOut(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_DROPFILES:
            TakeDroppedFile(reinterpret_cast<HDROP>(wParam));
            return 0;
        case WM_ENDSESSION:  // signing out, restarting or shutting down: it ends as at any end
            sessionEnding_ = wParam != FALSE;
            if (sessionEnding_) Dispatch(&Form1::Form_Unload);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

template <typename Handler>
void Win32Platform::Dispatch(Handler handler) {
    // A failure being reported ends the process after its message: the message box's loop
    // still delivers ticks and clicks, and none of them may run a handler meanwhile.
    if (failing_) return;
    try {
        std::invoke(handler, *form_);
    } catch (const SystemError& error) {
        ReportFailure(error.reason());
    } catch (const std::exception& error) {
        ReportFailure(std::wstring(error.what(), error.what() + std::char_traits<char>::length(error.what())));
    }
}

// The first of the files dropped onto the window.
void Win32Platform::TakeDroppedFile(HDROP drop) {
    static const auto query = SystemFunction<DragQueryFileFn>(L"shell32.dll", "DragQueryFileW");
    static const auto finish = SystemFunction<DragFinishFn>(L"shell32.dll", "DragFinish");
    if (query == nullptr || finish == nullptr) return;
    std::wstring file(query(drop, 0, nullptr, 0), L'\0');
    query(drop, 0, file.data(), static_cast<UINT>(file.size() + 1));
    finish(drop);
    Dispatch([&file](Form1& form) { form.Form_OLEDragDrop(file); });
}

void Win32Platform::ReportFailure(const std::wstring& reason) {
    failing_ = true;
    // Windows waits on a program that shows a box while the session ends, and tells the user it
    // is holding up the sign-out; the failure code alone is left then.
    const std::wstring message = L"Wystąpił nieoczekiwany błąd; program zostanie zamknięty.\r\n\r\n" + reason;
    if (!sessionEnding_) messageBox(message, layout::kCaption, true);
    ExitProcess(1);
}

void Win32Platform::setLabelText(const std::wstring& text) {
    if (!SetWindowTextW(Control(layout::kLabel1), text.c_str())) throw LastError();
}

bool Win32Platform::runEnabled() { return IsWindowEnabled(Control(layout::kCommand1)) != FALSE; }

void Win32Platform::setRunEnabled(bool enabled) { EnableWindow(Control(layout::kCommand1), enabled); }

void Win32Platform::disableChoosing() {
    for (const std::uint16_t id : {layout::kCommand1, layout::kCommand2}) EnableWindow(Control(id), FALSE);
    for (const std::uint16_t id : {layout::kMnuPlikUruchom, layout::kMnuPlikPrzegladaj})
        EnableMenuItem(GetMenu(window_), id, MF_BYCOMMAND | MF_GRAYED);
    SetWindowLongPtrW(window_, GWL_EXSTYLE, GetWindowLongPtrW(window_, GWL_EXSTYLE) & ~WS_EX_ACCEPTFILES);
}

int Win32Platform::checkValue() {
    return SendMessageW(Control(layout::kCheck1), BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

void Win32Platform::setCheckValue(int value) {
    SendMessageW(Control(layout::kCheck1), BM_SETCHECK, value != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool Win32Platform::minimised() { return IsIconic(window_) != FALSE; }

void Win32Platform::setMinimised(bool minimised) { ShowWindow(window_, minimised ? SW_MINIMIZE : SW_RESTORE); }

void Win32Platform::setTimer(TimerId timer, unsigned intervalMs, bool enabled) {
    const auto id = static_cast<UINT_PTR>(timer);
    if (!enabled) {
        KillTimer(window_, id);
    } else if (SetTimer(window_, id, intervalMs, nullptr) == 0) {
        throw LastError();
    }
}

// On top of the other windows, in the middle of the main window's monitor (where it was before it was
// minimised), born there so that it takes that monitor's scale, the main window's.
void Win32Platform::showCountdown(const std::wstring& text, const std::wstring& act) {
    if (countdown_ == nullptr) {
        MONITORINFO monitor{sizeof monitor, {}, {}, 0};
        GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &monitor);
        const RECT& work = monitor.rcWork;
        countdown_ = CreateWindowExW(WS_EX_TOPMOST, layout::kCountdownClassName, layout::kCaption,
                                     WS_POPUP | WS_CAPTION | WS_SYSMENU, work.left, work.top, 0, 0, nullptr, nullptr,
                                     instance_, this);
        if (countdown_ == nullptr) throw LastError();
        CreateControls(countdown_, layout::kCountdown);
        PlaceControls(countdown_, layout::kCountdown);
        SizeClientArea(countdown_, layout::kCountdownWidthTwips, layout::kCountdownHeightTwips);
        RECT place;
        GetWindowRect(countdown_, &place);
        SetWindowPos(countdown_, nullptr, (work.left + work.right - place.right + place.left) / 2,
                     (work.top + work.bottom - place.bottom + place.top) / 2, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
        ShowWindow(countdown_, SW_SHOWNORMAL);
        SetForegroundWindow(countdown_);
    }
    SetWindowTextW(GetDlgItem(countdown_, layout::kLblOdliczanie), text.c_str());
    SetWindowTextW(GetDlgItem(countdown_, layout::kCmdTeraz), act.c_str());
}

void Win32Platform::closeCountdown() {
    if (countdown_ != nullptr) DestroyWindow(countdown_);
    countdown_ = nullptr;
}

// The one place that decides where a message goes: for the console twin, a standard stream.
void Win32Platform::messageBox(const std::wstring& text, const std::wstring& title, bool error) {
    if (console_) return WriteText(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE, text);
    MessageBoxW(window_, text.c_str(), title.c_str(), MB_OK | (error ? MB_ICONERROR : 0));
}

bool Win32Platform::openFileDialog(OpenFileRequest& request) {
    std::wstring file = request.file;
    file.resize(request.maxFile + 1, L'\0');
    std::wstring fileTitle(request.maxFileTitle + 1, L'\0');

    OPENFILENAMEW record{};
    record.lStructSize = OPENFILENAME_SIZE_VERSION_400W;  // the base form, without the later extension fields
    record.hwndOwner = window_;
    record.lpstrFilter = request.filter.c_str();
    record.nFilterIndex = request.filterIndex;
    record.lpstrFile = file.data();
    record.nMaxFile = request.maxFile;
    record.lpstrFileTitle = fileTitle.data();
    record.nMaxFileTitle = request.maxFileTitle;
    record.lpstrInitialDir = request.initialDir.c_str();
    record.lpstrTitle = request.title.c_str();
    record.Flags = request.flags;
    record.lpstrDefExt = request.defExt.c_str();
    const bool ok = OpenFileDialogFunction()(&record) != FALSE;
    request.file = file.substr(0, request.maxFile);
    return ok;
}

void Win32Platform::endProcess(std::uint32_t exitCode) { ExitProcess(exitCode); }

}  // namespace czuwajnik::win32
