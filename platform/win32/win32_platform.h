#pragma once
// The Win32 implementation of the platform: the windows, their controls and timers, files,
// processes, shortcuts, power, the clock and the keys, one source file a concern.

#include <windows.h>
#include <shellapi.h>

#include <memory>

#include "app/form1.h"
#include "app/layout.h"
#include "platform/platform.h"

namespace czuwajnik::win32 {

struct HandleCloser {
    void operator()(HANDLE handle) const {
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

struct FontDeleter {
    void operator()(HFONT font) const { DeleteObject(font); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

// The system's text for an error, and its code.
inline std::wstring ErrorText(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
        reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length != 0 ? std::wstring(text, length) : std::wstring();
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    return message + L" (kod " + std::to_wstring(code) + L")";
}

// The calling thread's last error, with the system's text for it.
inline SystemError LastError() {
    const DWORD code = GetLastError();
    return SystemError(ErrorText(code), code);
}

// The program's two ways in (main.cpp): the text after its own name, and the run of its window,
// its messages shown as boxes (czuwajnik.exe) or written as text (czuwajnik.com, for terminals).
std::wstring Arguments();
int Main(const std::wstring& arguments, int showCommand, bool console);

// Writes `text` and a line end to a standard stream: to a console as Unicode, to a file or a pipe in
// the console's output code page, as the command prompt's own programs write (win32_console.cpp).
void WriteText(DWORD stream, const std::wstring& text);

// Ctrl+C, Ctrl+Break or the console closed, as a message to `window` (win32_console.cpp).
constexpr UINT kConsoleSignal = WM_APP + 1;
void PostConsoleSignals(HWND window);

// Calls `get(buffer, size)` with a growing buffer until the whole text fits.
template <typename Get>
std::wstring GrowingText(Get get) {
    std::wstring text(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = get(text.data(), static_cast<DWORD>(text.size()));
        if (length == 0) return {};
        if (length < text.size()) return text.substr(0, length);
        text.resize(text.size() * 2);
    }
}

// A function of a system DLL, looked up by name, the DLL loaded from the system folder;
// nullptr where this Windows lacks it.
template <typename Function>
Function SystemFunction(const wchar_t* dll, const char* name) {
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    HMODULE module = LoadLibraryW((std::wstring(folder, length) + L"\\" + dll).c_str());
    if (module == nullptr) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

class Win32Platform final : public Platform {
public:
    explicit Win32Platform(HINSTANCE instance, std::wstring commandLine = L"", bool console = false)
        : instance_(instance), commandLine_(std::move(commandLine)), console_(console) {}

    // Creates the window, runs the load step, shows the window and runs its message loop.
    int Run(Form1& form, int showCommand);

    void setLabelText(const std::wstring& text) override;
    bool runEnabled() override;
    void setRunEnabled(bool enabled) override;
    void disableChoosing() override;
    int checkValue() override;
    void setCheckValue(int value) override;
    bool minimised() override;
    void setMinimised(bool minimised) override;
    void setTimer(TimerId timer, unsigned intervalMs, bool enabled) override;
    void showCountdown(const std::wstring& text, const std::wstring& act) override;
    void closeCountdown() override;
    void messageBox(const std::wstring& text, const std::wstring& title, bool error) override;
    bool openFileDialog(OpenFileRequest& request) override;
    [[noreturn]] void endProcess(std::uint32_t exitCode) override;

    std::wstring commandLine() override { return commandLine_; }
    std::wstring currentDirectory() override;
    void setCurrentDirectory(const std::wstring& folder) override;
    std::wstring ownFolder() override;
    std::wstring fullPath(const std::wstring& name) override;
    bool isFile(const std::wstring& path) override;
    bool sameFileName(const std::wstring& a, const std::wstring& b) override;
    std::wstring systemFolder() override;
    std::wstring environment(const std::wstring& name) override;
    bool searchesCurrentFolder(const std::wstring& name) override;
    std::optional<std::wstring> shortcutTarget(const std::wstring& shortcut) override;
    std::uint32_t startProgram(const std::wstring& path, const std::wstring& arguments, int showCode,
                               Streams streams) override;
    Handle openProcess(std::uint32_t access, bool inherit, std::uint32_t pid) override;
    SystemError lastError() override;
    SystemError systemError(std::uint32_t code) override;
    std::wstring processPath(Handle process) override;
    std::optional<bool> hasEnded(Handle process) override;
    std::optional<std::int32_t> exitCode(Handle process) override;
    void closeHandle(Handle handle) override;
    std::uint32_t ownProcessId() override;
    std::vector<ProcessEntry> processesNamed(const std::vector<std::wstring>& names) override;
    void keepSystemAwake(bool awake) override;
    std::optional<bool> onBattery() override;
    void powerDown(PowerAction action) override;
    void keybdEvent(std::uint8_t vk, std::uint8_t scan, std::uint32_t flags, std::uintptr_t extra) override;
    float timeOfDay() override;
    std::uint64_t milliseconds() override { return GetTickCount64(); }
    std::uint64_t awakeMilliseconds() override;
    std::int64_t localTime() override;

    std::optional<std::string> readFile(const std::wstring& name, std::size_t maxBytes) override;
    void replaceFile(const std::wstring& name, const std::string& bytes) override;
    std::optional<std::string> toAnsi(const std::wstring& text) override;
    std::wstring fromAnsi(const std::string& bytes) override;
    std::optional<std::wstring> shortPath(const std::wstring& path) override;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void CreateMainWindow();
    template <typename Controls>
    void CreateControls(HWND parent, const Controls& controls);
    template <typename Controls>
    void PlaceControls(HWND parent, const Controls& controls);
    void SizeClientArea(HWND window, int widthTwips, int heightTwips);
    void CreateMenuBar();
    void LayOut(int dpi, const RECT* suggested);
    bool TextsFit(HFONT font) const;
    static int SystemDpi();
    int WindowDpi() const;
    int Scale(int twips) const { return MulDiv(twips, dpi_, layout::kTwipsPerInch); }
    HWND Control(std::uint16_t id) const { return GetDlgItem(window_, id); }
    // Runs a handler, a member of Form1 or a callable taking it; a failure it does not handle is
    // reported and ends the process.
    template <typename Handler>
    void Dispatch(Handler handler);
    void TakeDroppedFile(HDROP drop);
    [[noreturn]] void ReportFailure(const std::wstring& reason);

    HINSTANCE instance_;
    std::wstring commandLine_;
    const bool console_;  // messages go to the standard streams as text, never into a box
    HWND window_ = nullptr;
    HWND countdown_ = nullptr;  // the countdown, while it shows
    Form1* form_ = nullptr;
    bool failing_ = false;  // a failure is being reported; the process ends after it
    bool sessionEnding_ = false;  // Windows is ending the session: no box may hold it up
    int dpi_ = USER_DEFAULT_SCREEN_DPI;
    UniqueFont font_;
    UniqueHandle started_;  // the program started last
    std::vector<std::uint8_t> processList_;  // the system's list of processes, as last read
    DWORD startedId_ = 0;
};

}  // namespace czuwajnik::win32
