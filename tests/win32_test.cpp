// The Win32 layer under Wine. In-process: the real window, the ANSI code page and the
// settings file's storage. End to end: czuwajnik.exe in a fresh folder, worked from outside
// as a user works it, starting this program (copied as child.exe), which reports how it began.
//
//   win32_test.exe <czuwajnik.exe> [gtest flags]

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <aclapi.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "platform/win32/win32_platform.h"
#include "settings/settings.h"

#include <commctrl.h>
#include <dlgs.h>
#include <shlobj.h>

namespace czuwajnik::win32 {
namespace {

namespace fs = std::filesystem;
using testing::EndsWith;
using testing::HasSubstr;
using testing::StartsWith;

constexpr DWORD kPatienceMs = 15000;
fs::path gUtility;  // the czuwajnik.exe under test

std::string Bytes(const std::wstring& text, UINT codePage = CP_UTF8) {
    std::string bytes(text.size() * 4, '\0');
    bytes.resize(WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                                     static_cast<int>(bytes.size()), nullptr, nullptr));
    return bytes;
}

// A settings file as the utility writes it, the path in Windows-1250.
std::string Record(const std::wstring& path, bool ticked) {
    return "\"" + Bytes(path, 1250) + "\"\r\n" + (ticked ? "#TRUE#" : "#FALSE#") + "\r\n";
}

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteAll(const fs::path& file, const std::string& bytes) { std::ofstream(file, std::ios::binary) << bytes; }

std::set<std::wstring> FilesIn(const fs::path& folder) {
    std::set<std::wstring> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file()) names.insert(entry.path().filename());
    return names;
}

// A new empty folder under %TEMP%, the current directory while the test runs.
struct TempFolder {
    inline static int made = 0;
    const std::wstring path = fs::temp_directory_path() / ("czw " + std::to_string(GetTickCount64() + ++made)) += L"\\";
    TempFolder() {
        fs::create_directories(path);
        fs::current_path(path);
    }
    ~TempFolder() {
        fs::current_path(L"C:\\");
        fs::remove_all(path, ignored);
    }
    std::error_code ignored;
};

// Waits until `done`, at most kPatienceMs: a wait that runs out fails the test, naming what it
// waited for.
template <typename Done>
void WaitFor(const std::string& what, Done done) {
    for (const ULONGLONG end = GetTickCount64() + kPatienceMs; !done(); Sleep(50)) {
        if (GetTickCount64() <= end) continue;
        ADD_FAILURE() << "waited " << kPatienceMs << " ms for " << what;
        return;
    }
}

// SendMessageW with a bound: a window that does not answer within it fails the test.
template <typename W = WPARAM, typename L = LPARAM>
LRESULT Send(HWND window, UINT message, W wParam = 0, L lParam = 0) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, (WPARAM)wParam, (LPARAM)lParam, SMTO_NORMAL, kPatienceMs, &result))
        ADD_FAILURE() << "no answer to message " << message << " within " << kPatienceMs << " ms";
    return static_cast<LRESULT>(result);
}

fs::path Self() {
    wchar_t path[MAX_PATH];
    return std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
}

// A file for a program's output, to be handed on to it.
HANDLE Inheritable(const std::wstring& file) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    return CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable, CREATE_ALWAYS, 0, nullptr);
}

// Starts a program in the current directory, with the command line its path (in quotes, unless
// not `quoted`), then `arguments` as they are; with output and error to the files given.
UniqueHandle Spawn(const std::wstring& exe, const std::wstring& arguments = L"", bool quoted = true,
                   HANDLE out = nullptr, HANDLE err = nullptr) {
    std::wstring commandLine = (quoted ? L"\"" + exe + L"\"" : exe) + arguments;
    STARTUPINFOW startup{sizeof startup};
    startup.dwFlags = STARTF_USESTDHANDLES;  // none but those given, as from a shortcut
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    EXPECT_TRUE(CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, out != nullptr, 0, nullptr, nullptr,
                               &startup, &process))
        << "could not start " << Bytes(exe);
    UniqueHandle thread(process.hThread);
    return UniqueHandle(process.hProcess);
}

// ---- Windows, of this process or another --------------------------------------------------

std::wstring Text(HWND window) {
    wchar_t text[1024] = L"";
    Send(window, WM_GETTEXT, 1024, text);
    return text;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = L"";
    return std::wstring(name, GetClassNameW(window, name, 64));
}

// The visible top-level windows of a class that a process owns, once there is one.
std::vector<HWND> TopLevel(DWORD pid, const wchar_t* className = L"#32770") {
    std::vector<HWND> found;
    WaitFor("a window of class " + Bytes(className), [&] {
        for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, className, nullptr)) != nullptr;) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == pid && IsWindowVisible(window)) found.push_back(window);
        }
        return !found.empty();
    });
    return found.empty() ? std::vector<HWND>{nullptr} : found;
}

// A message box as the user sees it: title, buttons, icons, text.
std::wstring Describe(HWND box) {
    int buttons = 0, icons = 0;
    std::wstring text;
    for (HWND c = GetWindow(box, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        if (!IsWindowVisible(c)) continue;
        buttons += ClassOf(c) == L"Button";
        icons += Send(c, STM_GETICON) != 0;
        if (ClassOf(c) == L"Static" && Text(c).size() > text.size()) text = Text(c);
    }
    return Text(box) + L": " + std::to_wstring(buttons) + L" button " + std::to_wstring(icons) + L" icon: " + text;
}

// The system's own text for an error, to its line end.
std::wstring SystemText(DWORD code) {
    wchar_t text[512] = L"";
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, 512, nullptr);
    return std::wstring(text, std::wcscspn(text, L"\r\n"));
}

// Types into a file dialog's name box, if given, and presses a button of the dialog.
void Press(HWND dialog, int button, const std::wstring* typed = nullptr) {
    if (typed) {
        HWND name = GetDlgItem(dialog, 1148);
        if (HWND edit = FindWindowExW(name, nullptr, L"Edit", nullptr)) name = edit;
        Send(name, WM_SETTEXT, 0, typed->c_str());
    }
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
    WaitFor("the dialog to close", [&] { return !IsWindow(dialog); });
}

// ---- In-process: the real window ----------------------------------------------------------

int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

// Whether every button's and the check box's text fits its width in `face`, as the control
// itself measures its text, mark and margins. (Its height may be the mark's, drawn at the
// system's DPI, whatever the font.)
bool TextsFit(HWND window, LOGFONTW face) {
    UniqueFont font(CreateFontIndirectW(&face));
    bool fit = true;
    for (HWND c = GetWindow(window, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        if (ClassOf(c) != L"Button") continue;
        const LRESULT used = Send(c, WM_GETFONT);
        Send(c, WM_SETFONT, font.get());
        SIZE ideal{};
        fit = Send(c, BCM_GETIDEALSIZE, 0, &ideal) && fit;
        Send(c, WM_SETFONT, used);
        RECT room;
        GetClientRect(c, &room);
        fit = fit && ideal.cx <= room.right;
    }
    return fit;
}

// The controls' font: the system's message font for `dpi` wherever the texts fit in it, else
// the largest in which they do.
void ExpectFont(HWND window, int dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    using ForDpi = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);
    SystemFunction<ForDpi>(L"user32.dll", "SystemParametersInfoForDpi")(SPI_GETNONCLIENTMETRICS, sizeof metrics,
                                                                          &metrics, 0, dpi);
    LOGFONTW used{};
    const auto font = reinterpret_cast<HFONT>(Send(GetWindow(window, GW_CHILD), WM_GETFONT));
    GetObjectW(font, sizeof used, &used);
    LOGFONTW larger = used;
    larger.lfHeight += used.lfHeight < 0 ? -1 : 1;
    EXPECT_STREQ(used.lfFaceName, metrics.lfMessageFont.lfFaceName);
    if (TextsFit(window, metrics.lfMessageFont))
        EXPECT_EQ(used.lfHeight, metrics.lfMessageFont.lfHeight) << "the message font, where the texts fit in it";
    else
        EXPECT_TRUE(TextsFit(window, used) && !TextsFit(window, larger)) << "the largest font the texts fit in";
}

// The client area and each control where their twips put them at `dpi`, each control of its
// class, text and style, in the font its texts fit in.
void ExpectLaidOut(HWND window, int dpi, const std::wstring& label) {
    SCOPED_TRACE(std::to_string(dpi) + " DPI");
    const auto px = [dpi](int twips) { return MulDiv(twips, dpi, 1440); };
    const std::tuple<const wchar_t*, std::wstring, std::array<int, 4>, LONG> designed[] = {
        {L"Button", L"Uruchom", {1680, 1560, 2175, 495}, WS_TABSTOP | BS_PUSHBUTTON},
        {L"Static", label, {120, 360, 3615, 255}, SS_LEFT},
        {L"Button", L"Przeglądaj...", {4080, 240, 1215, 375}, WS_TABSTOP | BS_PUSHBUTTON},
        {L"Button", L"Uruchamiaj automatycznie", {120, 840, 2295, 255}, WS_TABSTOP | BS_AUTOCHECKBOX}};
    RECT r;
    GetClientRect(window, &r);
    EXPECT_EQ(std::tuple(r.right, r.bottom), std::tuple(px(5460), px(2400)));
    HWND c = GetWindow(window, GW_CHILD);
    for (const auto& [className, text, twips, style] : designed) {
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(std::tuple(ClassOf(c), Text(c), r.left, r.top, r.right - r.left, r.bottom - r.top,
                             GetWindowLongW(c, GWL_STYLE) & (WS_VISIBLE | WS_DISABLED | WS_TABSTOP | 0xF)),
                  std::tuple(className, text, px(twips[0]), px(twips[1]), px(twips[2]), px(twips[3]),
                             WS_VISIBLE | style));
        c = GetWindow(c, GW_HWNDNEXT);
    }
    ExpectFont(window, dpi);
}

// The menu bar's items, each followed by its popup's: "id text".
std::vector<std::wstring> Menus(HWND window) {
    std::vector<std::wstring> menus;
    HMENU bar = GetMenu(window);
    for (int top = 0; top < GetMenuItemCount(bar); ++top) {
        HMENU popup = GetSubMenu(bar, top);
        for (int item = -1; item < GetMenuItemCount(popup); ++item) {
            wchar_t text[64] = L"";
            GetMenuStringW(item < 0 ? bar : popup, item < 0 ? top : item, text, 64, MF_BYPOSITION);
            menus.push_back((item < 0 ? L"" : std::to_wstring(GetMenuItemID(popup, item)) + L" ") + text);
        }
    }
    return menus;
}

// The window as the user finds it, at the display's DPI, then after it is told that it has
// moved to a display of each of three scales, with the rectangle Windows suggests.
void ExpectWindowAsDesigned(const std::wstring& label, DWORD uiThread) {
    HWND window = TopLevel(GetCurrentProcessId(), layout::kClassName)[0];
    // Answered once the window's thread runs its message loop, after the focus is set.
    Send(window, WM_NULL);
    ExpectLaidOut(window, ScreenDpi(), label);
    EXPECT_EQ(Menus(window), (std::vector<std::wstring>{L"&Plik", L"201 &Przeglądaj...", L"202 &Uruchom", L"0 ",
                                                        L"204 &Koniec", L"Po&moc", L"301 O programie..."}));
    GUITHREADINFO gui{sizeof gui};
    GetGUIThreadInfo(uiThread, &gui);
    EXPECT_EQ(GetDlgCtrlID(gui.hwndFocus), 101) << "focus";
    int from = ScreenDpi();
    for (int dpi : {144, 120, 96}) {
        // The window as it is, frame and menu bar included, scaled from the old DPI to the new
        // one, and moved a little, as onto another display.
        RECT suggested, now;
        GetWindowRect(window, &suggested);
        suggested.right = suggested.left + MulDiv(suggested.right - suggested.left, dpi, from);
        suggested.bottom = suggested.top + MulDiv(suggested.bottom - suggested.top, dpi, from);
        OffsetRect(&suggested, 8, 8);
        Send(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), &suggested);
        GetWindowRect(window, &now);
        EXPECT_EQ(std::pair(now.left, now.top), std::pair(suggested.left, suggested.top)) << dpi << " DPI";
        ExpectLaidOut(window, dpi, label);
        from = dpi;
    }
    // The About box: a message with OK alone, no icon.
    PostMessageW(window, WM_COMMAND, 301, 0);
    HWND about = TopLevel(GetCurrentProcessId())[0];
    EXPECT_THAT(Describe(about), StartsWith(L"Czuwajnik: 1 button 0 icon: Czuwajnik 1.1\r\n"));
    Press(about, IDOK);
    // Two files dropped onto it from the shell: the first is chosen.
    const std::wstring files = Self().wstring() + L'\0' + L"C:\\x.exe" + L'\0';
    HGLOBAL drop = GlobalAlloc(GHND, sizeof(DROPFILES) + (files.size() + 1) * sizeof(wchar_t));
    auto* dropped = static_cast<DROPFILES*>(GlobalLock(drop));
    *dropped = DROPFILES{sizeof(DROPFILES), {}, FALSE, TRUE};
    std::copy(files.begin(), files.end(), reinterpret_cast<wchar_t*>(dropped + 1));
    GlobalUnlock(drop);
    Send(window, WM_DROPFILES, drop);
    EXPECT_EQ(Text(GetDlgItem(window, layout::kLabel1)), L"Program: " + Self().wstring());
    EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES) << "the shell drops files only where taken";
}

TEST(Window, LooksAsDesignedAtTheDisplaysDpiAndAfterMovingToOthers) {
    TempFolder folder;
    const std::wstring label = L"Program: C:\\" + std::wstring(200, L'x') + L"\\program.exe";
    WriteAll(folder.path + L"ustawienia.dat", Record(label.substr(9), false));
    Win32Platform platform(GetModuleHandleW(nullptr));
    Form1 form(platform);
    // The user's checks run beside the window's thread, which then ends its loop, whatever they found.
    std::thread user([&label, uiThread = GetCurrentThreadId()] {
        ExpectWindowAsDesigned(label, uiThread);
        PostThreadMessageW(uiThread, WM_QUIT, 0, 0);
    });
    platform.Run(form, SW_SHOWNORMAL);
    user.join();
    // The request to stay awake reaches the system: Wine returns the state last asked for. This
    // machine, a server with no battery, runs on mains.
    platform.keepSystemAwake(true);
    EXPECT_EQ(SetThreadExecutionState(ES_CONTINUOUS), ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    EXPECT_EQ(platform.onBattery(), false);
}

// ---- In-process: the code page and the settings file --------------------------------------

// What copy number `writer` of the utility saves.
std::string WriterContent(int writer) {
    return settings::Format(std::string(20 + 30 * writer, 'a' + writer), writer % 2);
}

// Copies ending together save again and again while another program holds the file for a
// moment: a virus scanner, sharing nothing, or a program writing it that lets others read and
// write it but not replace it (an earlier version saving in place, say). Each waits that out and
// gets through, none writes while the other program does, a reader never sees a replace half
// done, and no temporary file is left.
TEST(Settings, EightCopiesSavingAtOnce) {
    const struct {
        DWORD access, share, ms;
    } holders[] = {{GENERIC_READ, 0, 500}, {GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, 1500}};
    for (const auto& [access, share, ms] : holders) {
        SCOPED_TRACE(share ? "held by a writer sharing" : "held without sharing");
        TempFolder folder;
        Win32Platform platform(nullptr);
        WriteAll(folder.path + L"ustawienia.dat", WriterContent(0));
        UniqueHandle held(CreateFileW(L"ustawienia.dat", access, share, nullptr, OPEN_EXISTING, 0, nullptr));
        std::set<std::string> valid;
        for (int writer = 0; writer < 8; ++writer) valid.insert(WriterContent(writer));
        std::vector<UniqueHandle> writers;
        for (const ULONGLONG release = GetTickCount64() + ms; writers.size() < 8 || held; Sleep(10)) {
            if (held && GetTickCount64() > release) {
                if (share) EXPECT_EQ(ReadAll(L"ustawienia.dat"), WriterContent(0)) << "written meanwhile";
                held.reset();
            }
            if (writers.size() < 8) writers.push_back(Spawn(Self(), L" --writer " + std::to_wstring(writers.size())));
        }
        for (const UniqueHandle& writer : writers) {
            WaitFor("a writer to end", [&] {
                // Written in place, the file is seen as it is being written.
                if (auto bytes = platform.readFile(L"ustawienia.dat", 4096); bytes && !share)
                    EXPECT_EQ(valid.count(*bytes), 1u);
                return WaitForSingleObject(writer.get(), 0) != WAIT_TIMEOUT;
            });
            DWORD code = 1;
            EXPECT_TRUE(GetExitCodeProcess(writer.get(), &code) && code == 0) << "a writer could not save the file";
        }
        EXPECT_EQ(valid.count(ReadAll(L"ustawienia.dat")), 1u);
        EXPECT_EQ(FilesIn(folder.path), std::set<std::wstring>{L"ustawienia.dat"});
    }
}

int RunWriter(int writer) try {
    Win32Platform platform(nullptr);
    for (int round = 0; round < 20; ++round) platform.replaceFile(L"ustawienia.dat", WriterContent(writer));
    return 0;
} catch (const SystemError&) {
    return 1;
}

// ---- In-process: a started program ----------------------------------------------------

// The program it starts is watched through the handle its start gave, though the program lets no
// one open it again from its first instant, as a game guarded by its own protection does.
TEST(Processes, AProgramThatRefusesToBeOpenedIsWatched) {
    TempFolder folder;
    fs::copy_file(Self(), folder.path + L"child.exe");
    WriteAll(folder.path + L"child.cfg", "1000 7");
    Win32Platform platform(nullptr);
    const DWORD pid = platform.startProgram(folder.path + L"child.exe", L"", SW_HIDE, Streams::Own);
    ACL empty;
    InitializeAcl(&empty, sizeof empty, ACL_REVISION);
    const UniqueHandle guard(OpenProcess(WRITE_DAC, FALSE, pid));
    SetSecurityInfo(guard.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, {}, {}, &empty, {});
    ASSERT_EQ(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid), nullptr) << "it can be opened anew";
    const UniqueHandle watched(reinterpret_cast<HANDLE>(platform.openProcess(PROCESS_QUERY_INFORMATION, false, pid)));
    ASSERT_NE(watched, nullptr) << "the handle its start gave is not used";
    EXPECT_EQ(WaitForSingleObject(watched.get(), kPatienceMs), WAIT_OBJECT_0);
    EXPECT_EQ(platform.exitCode(reinterpret_cast<Handle>(watched.get())), 7);
}

// ---- End to end ---------------------------------------------------------------------------

// As child.exe: does what "child.cfg" beside it says (lives that many milliseconds, ends with
// that exit code), and adds to "report.txt" there its working directory, its command line, and whether it was handed
// standard handles (256) with where its output and error lead, as the system resolves them.
int RunChild(const fs::path& folder) {
    DWORD ms = 0;
    int exitCode = 0;
    std::ifstream(folder / L"child.cfg") >> ms >> exitCode;
    STARTUPINFOW startup{sizeof startup};
    GetStartupInfoW(&startup);
    std::wstring report = fs::current_path().wstring() + L"\n" + GetCommandLineW() + L"\n" +
                          std::to_wstring(startup.dwFlags & STARTF_USESTDHANDLES);
    wchar_t leads[MAX_PATH];
    for (const DWORD stream : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE})
        report += L" " + std::wstring(leads, GetFinalPathNameByHandleW(GetStdHandle(stream), leads, MAX_PATH, 0));
    std::ofstream(folder / L"report.txt", std::ios::app | std::ios::binary) << Bytes(report + L"\n");
    Sleep(ms);
    return exitCode;
}

double Now() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return t.wHour * 3600 + t.wMinute * 60 + t.wSecond + t.wMilliseconds / 1000.0;
}

// A fresh folder holding czuwajnik.exe, the folder it is started from, and child.exe in a
// folder named with blanks, a semicolon, a comma and Polish letters, which is also on PATH with
// a script, and in one whose name Windows-1250 cannot hold; then the utility, and its window.
struct Sandbox : TempFolder {
    const std::wstring exe = path + L"czuwajnik.exe", settings = path + L"ustawienia.dat", start = path + L"start\\";
    const std::wstring childFolder = path + L"Gry; zabawy, ąęż\\", child = childFolder + L"child.exe";
    const std::wstring omega = path + L"Ωmega\\child.exe";  // not to be stored as the look-alike "Omega"
    UniqueHandle utility;

    Sandbox(DWORD childMs, DWORD childExitCode) {
        fs::create_directory(start);
        fs::create_directory(childFolder);
        fs::copy_file(gUtility, exe);
        fs::copy_file(Self(), child);
        fs::create_directory(fs::path(omega).parent_path());
        fs::copy_file(Self(), omega);
        WriteAll(childFolder + L"child.cfg", std::to_string(childMs) + " " + std::to_string(childExitCode));
        WriteAll(childFolder + L"zadanie.cmd", "@echo %* > \"%~dp0args.txt\"\r\n@exit /b %2\r\n");
        // Set for the programs this one starts; its C runtime's copy keeps the PATH it started with.
        SetEnvironmentVariableW(L"PATH", (L"\"" + childFolder + L"\";" + _wgetenv(L"PATH")).c_str());
    }
    ~Sandbox() {
        TerminateProcess(utility.get(), 1);
        WaitForSingleObject(utility.get(), kPatienceMs);
    }
    DWORD Pid() const { return GetProcessId(utility.get()); }
    HWND Window() const { return TopLevel(Pid(), layout::kClassName)[0]; }
    HWND Item(int id) const { return GetDlgItem(Window(), id); }
    // The exit code once the utility has ended, within `ms`.
    std::optional<DWORD> ExitCode(DWORD ms) const {
        DWORD code = 0;
        if (WaitForSingleObject(utility.get(), ms) != WAIT_OBJECT_0 || !GetExitCodeProcess(utility.get(), &code))
            return std::nullopt;
        return code;
    }
    // The child's report of its start, once written.
    std::wstring Report() const {
        std::string report;
        WaitFor("child.exe's report", [&] {
            report = ReadAll(childFolder + L"report.txt");
            return std::count(report.begin(), report.end(), '\n') == 3;
        });
        return fs::u8path(report).wstring();
    }
};

enum Remembered { Nothing, InTheStartFolder, Unticked /* in the start folder */ };

struct Row {
    friend void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }
    const char* name;
    Remembered remembered;  // child.exe, ticked to run at start
    // Czuwajnik's command line after its own name: the program as given (or /pid or /name, to
    // watch child.exe started some other way), then its arguments.
    const wchar_t* program;
    const wchar_t* arguments;
    // What the user (and the world) does, in order; "redirected" and "unquoted" say how
    // czuwajnik.exe is started: its output and error to files, its own name unquoted.
    const char* steps;
    DWORD exitCode;  // also child.exe's
};

// Longer than what the utility writes, so a write that does not cut the file shows.
const std::string kEarlier = settings::Format("C:\\Gry\\" + std::string(200, 's') + ".exe", true);
// The message box of a failure that ends the program.
const std::wstring kFailed = L"Czuwajnik: 1 button 1 icon: Wystąpił nieoczekiwany błąd; program zostanie";

class EndToEnd : public testing::TestWithParam<Row> {};

TEST_P(EndToEnd, ShowsStartsAndKeepsWhatTheRowSays) {
    const Row& row = GetParam();
    const std::wstring program = row.program;
    const auto has = [&row](const char* step) { return std::string(row.steps).find(step) != std::string::npos; };
    Sandbox box(has("pulse") ? 15000 : program.empty() ? 1500 : 3000, row.exitCode);
    std::wstring chosen = row.remembered != Nothing ? box.child : L"";
    const bool ticked = row.remembered == InTheStartFolder;
    const std::string read = Record(chosen, ticked);
    if (row.remembered != Nothing) WriteAll(box.start + L"ustawienia.dat", read);
    const double boundary = std::ceil(Now() / 180) * 180;  // the next 3-minute boundary of the day
    fs::current_path(box.start);
    if (has("not-found")) WriteAll(program, "");  // a file without an extension is no program
    const DWORD before = GetTickCount();  // input since: a pulse, as another program sees it
    UniqueHandle child = program == L"/pid" || program == L"/name" ? Spawn(box.child) : nullptr;
    const std::wstring pid = program == L"/pid" ? L" " + std::to_wstring(GetProcessId(child.get())) : L"";
    const UniqueHandle out(has("redirected") ? Inheritable(box.childFolder + L"out.txt") : nullptr);
    const UniqueHandle err(has("redirected") ? Inheritable(box.childFolder + L"err.txt") : nullptr);
    box.utility = Spawn(box.exe, program.empty() ? L"" : L" " + program + pid + row.arguments, !has("unquoted"),
                        out.get(), err.get());

    UniqueHandle held;
    std::istringstream steps(row.steps);
    for (std::string step; steps >> step;) {
        SCOPED_TRACE(step);
        if (step == "close") PostMessageW(box.Window(), WM_CLOSE, 0, 0);
        // Uruchom starts it in its own folder, a command line in the caller's, named exactly and
        // followed by the arguments as written; the window is minimised meanwhile.
        if (step == "started") {
            const std::wstring folder = fs::path(program.empty() ? box.childFolder : box.start).parent_path();
            const std::wstring arguments = child ? L"" : row.arguments;
            const std::wstring handedOn = has("redirected") || child ? L"256" : L"0";
            EXPECT_THAT(box.Report(), StartsWith(folder + L"\n\"" + box.child + L"\"" + arguments + L"\n" + handedOn));
            EXPECT_EQ(Text(box.Item(layout::kLabel1)), L"Program: " + box.child);
            EXPECT_TRUE(IsIconic(box.Window()) && !IsWindowEnabled(box.Item(layout::kCommand1)));
        }
        // A console program gets the handles the caller redirected, and only through them writes there.
        if (step == "redirected")
            EXPECT_THAT(box.Report(), EndsWith(L"\n256 \\\\?\\" + box.childFolder + L"out.txt \\\\?\\" +
                                                   box.childFolder + L"err.txt\n"));
        // By name, a second copy from another folder, started once the first is watched, keeps the
        // watch after the first has ended; the watch ends 5 s after the second.
        if (step == "second") {
            WaitFor("a copy", [&] { return Text(box.Item(layout::kLabel1)) == L"Program: child.exe (działa: 1)"; });
            WriteAll(fs::path(box.omega).parent_path() / L"child.cfg", "5000 9");
            EXPECT_EQ(WaitForSingleObject(Spawn(box.omega).get(), kPatienceMs), WAIT_OBJECT_0) << "the second ends";
            EXPECT_FALSE(box.ExitCode(4000)) << "watching 4 s after the last copy ended";
        }
        if (step == "hold") {  // without sharing, as a backup tool or an editor might
            WriteAll(box.settings, kEarlier);
            held.reset(CreateFileW(box.settings.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        }
        if (step == "sign-out") {  // the failed save then shows no box, so it holds nothing up
            EXPECT_EQ(Send(box.Window(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
            PostMessageW(box.Window(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
        }
        if (step == "not-found") {  // one message, and nothing started
            EXPECT_THAT(Describe(TopLevel(box.Pid())[0]),
                        StartsWith(L"Czuwajnik: 1 button 1 icon: Nie można uruchomić programu:\r\n" + box.start +
                                   program + L"\r\n\r\n" + SystemText(ERROR_FILE_NOT_FOUND) + L" (kod 2)"));
            Press(TopLevel(box.Pid())[0], IDOK);
        }
        if (step == "ok") {  // one message, naming the file and the system's reason, however long it stays
            HWND message = TopLevel(box.Pid())[0];
            Sleep(2000);
            EXPECT_EQ(TopLevel(box.Pid()).size(), 1u) << "message boxes";
            const std::wstring reason = L"\r\n" + SystemText(ERROR_SHARING_VIOLATION) + L" (kod 32)";
            EXPECT_THAT(Describe(message), AllOf(StartsWith(kFailed), HasSubstr(box.settings), HasSubstr(reason)));
            Press(message, IDOK);
        }
        // The dialog opens at C:\, modal and with no read-only box, then where the last program was
        // chosen: a name typed relative to it is found. A path the code page cannot hold is stored
        // by its short name.
        if (step == "browse" || step == "browse-again") {
            if (step == "browse") PostMessageW(box.Item(layout::kCommand2), BM_CLICK, 0, 0);
            else PostMessageW(box.Window(), WM_COMMAND, layout::kMnuPlikPrzegladaj, 0);
            HWND dialog = TopLevel(box.Pid())[0];
            EXPECT_EQ(Text(dialog), L"Wybierz program.");
            EXPECT_FALSE(IsWindowEnabled(box.Window()) || IsWindowVisible(GetDlgItem(dialog, chx1)) ||
                         IsIconic(box.Window()))
                << "modal, and nothing started";
            const std::wstring typed = step == "browse" ? box.omega.substr(3) : L"child.exe";
            Press(dialog, IDOK, &typed);
            WaitFor("the choice shown", [&] { return Text(box.Item(layout::kLabel1)) == L"Program: " + box.omega; });
            wchar_t shortName[MAX_PATH];
            chosen = std::wstring(shortName, GetShortPathNameW(box.omega.c_str(), shortName, MAX_PATH));
        }
        if (step == "pulse") {  // with the session's clock moved a few seconds before a 3-minute boundary
            ASSERT_LT(Now(), boundary - 0.5) << "the watch begins shortly before a boundary";
            std::vector<double> toggles;
            for (bool scroll = GetKeyState(VK_SCROLL) & 1; !box.ExitCode(0) && Now() < boundary + 5;) {
                if (bool now = GetKeyState(VK_SCROLL) & 1; now != scroll) {
                    scroll = now;
                    toggles.push_back(Now());
                }
                Sleep(20);
            }
            ASSERT_EQ(toggles.size(), 1u) << "Scroll Lock pressed and released once";
            EXPECT_NEAR(toggles[0], boundary + 0.15, 0.75);
        }
    }
    EXPECT_EQ(box.ExitCode(kPatienceMs), row.exitCode) << "czuwajnik.exe's exit code, once it has ended";
    // From the command line the first pulse goes at once, but where the screen may go dark.
    LASTINPUTINFO input{sizeof input, 0};
    if (has("input") || has("quiet")) EXPECT_EQ(GetLastInputInfo(&input) && input.dwTime >= before, has("input"));
    // A script's arguments as written: quoted, "a&b c" reaches it whole.
    EXPECT_EQ(ReadAll(box.childFolder + L"args.txt").substr(0, 9), has("script") ? "\"a&b c\" 5" : "");
    held.reset();
    // Beside the exe, what it saved, byte for byte; from a command line, nothing.
    const std::string saved = !program.empty() ? "" : has("hold") ? kEarlier : Record(chosen, ticked);
    EXPECT_EQ(ReadAll(box.settings), saved);
    EXPECT_EQ(FilesIn(box.path).size(), 1u + program.empty()) << "no temporary file";
    // The file it was started with is left as it was, and alone.
    const bool inStart = row.remembered != Nothing;
    EXPECT_EQ(FilesIn(box.start).size(), inStart + has("not-found"));
    EXPECT_EQ(ReadAll(box.start + L"ustawienia.dat"), inStart ? read : "");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, EndToEnd,
    // The pulse row first: its run's clock starts a few seconds before a 3-minute boundary.
    testing::Values(Row{"Pulse", InTheStartFolder, L"", L"", "started pulse", 0},
                    Row{"FileHeldWhenItsProgramEnds", InTheStartFolder, L"", L"", "started hold ok", 1},
                    Row{"FileHeldAtSignOut", InTheStartFolder, L"", L"", "started hold sign-out", 1},
                    Row{"Browse", Unticked, L"", L"", "browse browse-again close", 0},
                    Row{"StartedByAnUnquotedPath", InTheStartFolder, L"", L"", "unquoted started", 0},
                    Row{"ProgramWithArguments", InTheStartFolder, L"\"..\\Gry; zabawy, ąęż\\child.exe\"",
                        L" -x \"b c\"  \"d \\\"e\\\"\" ", "started input", 7},
                    // A console program, its name without ".exe", ending with 259 (Windows' "still running").
                    Row{"ConsoleProgramEndingWith259", Nothing, L"\"..\\Gry; zabawy, ąęż\\child\"", L"",
                        "redirected started", 259},
                    Row{"ScriptAlongPath", Nothing, L"zadanie", L" \"a&b c\" 5", "script", 5},
                    Row{"SystemOnlyForALimit", Nothing, L"/system /for 3s", L"", "quiet", 0},
                    Row{"OnMainsPowerOnly", Nothing, L"/ac /for 3s", L"", "input", 0},
                    Row{"WatchingAProcess", InTheStartFolder, L"/pid", L"", "started", 7},
                    Row{"WatchingByName", Nothing, L"/name", L" CHILD", "second", 0},
                    Row{"ProgramNotFound", InTheStartFolder, L"brak", L"", "not-found", 2}),
    [](const auto& info) { return std::string(info.param.name); });

std::wstring Variant() { return _wgetenv(L"CZ_WINE_VARIANT") != nullptr ? _wgetenv(L"CZ_WINE_VARIANT") : L""; }

// Text in the console's output code page; with no console (Wine run from a script), the OEM one, which a
// console starts with.
std::wstring Decoded(const std::string& bytes) {
    std::wstring text(bytes.size(), L'\0');
    text.resize(MultiByteToWideChar(GetConsoleOutputCP() != 0 ? GetConsoleOutputCP() : CP_OEMCP, 0, bytes.data(),
                                    static_cast<int>(bytes.size()), text.data(), static_cast<int>(text.size())));
    return text;
}

// ---- End to end, in a prefix of its own whose powrprof.dll is a stand-in ------------------------

// Runs with no one at the screen, through a caller that reads the whole exit code. The console twin
// writes text in the console's output code page (a box would hold it open), passes a program's code
// on, and is what "czuwajnik" typed at the command prompt runs in the folder of both files. After a
// limit alone, the countdown has Anuluj focused and the default button (Space presses the focused
// button); Enter, Esc, the close box and a wake-up cancel, and only a click on the button that acts
// at once acts. The stand-in says hibernation is off and
// refuses a suspend with 1314, once it has noted what was asked; the countdown is gone before the
// message saying so shows.
TEST(Unattended, TextForTheTerminalAndTheCountdownsKeys) {
    ASSERT_EQ(Variant(), L"power") << "a stand-in powrprof.dll goes only into a prefix of its own";
    wchar_t system[MAX_PATH];
    const std::wstring folder(system, GetSystemDirectoryW(system, MAX_PATH)), cmd = folder + L"\\cmd.exe";
    ASSERT_TRUE(CopyFileW((Self().parent_path() / L"powrprof.dll").c_str(), (folder + L"\\powrprof.dll").c_str(), 0));
    const struct {
        const char* name;
        std::wstring program, arguments;
        UINT message;  // to the focused button (keys), a button (BM_CLICK), the main window or the countdown
        WPARAM wParam;
        DWORD exitCode;
        std::wstring shown = L"";  // in the message box, or on standard error
        std::wstring out = L"";    // what standard output begins with
        std::string asked = "";    // of the stand-in
    } rows[] = {{"Usage", L"czuwajnik.com", L" /?", 0, 0, 0, L"", L"Użycie:\r\nczuwajnik [OPCJE] PROGRAM"},
                {"ProgramsCode", L"czuwajnik.com", L" child.exe", 0, 0, 7},
                {"TypedAtThePrompt", cmd, L" /d /c czuwajnik /x", 0, 0, 87, L"Nieznana opcja: /x\r\n\r\nUżycie:"},
                {"Enter", L"czuwajnik.exe", L" /then sleep /for 1s", WM_KEYDOWN, VK_RETURN, 0},
                {"Esc", L"czuwajnik.exe", L" /then sleep /for 1s", WM_KEYDOWN, VK_ESCAPE, 0},
                {"CloseBox", L"czuwajnik.exe", L" /then sleep /for 1s", WM_SYSCOMMAND, SC_CLOSE, 0},
                {"WakeUp", L"czuwajnik.exe", L" /then sleep /for 1s", WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0},
                {"ClickTeraz", L"czuwajnik.exe", L" /then sleep /for 1s", BM_CLICK, layout::kCmdTeraz, 1314,
                 L"Nie można uśpić komputera:\r\n\r\n" + SystemText(1314), L"", "SetSuspendState 0 0 0\n"},
                {"TerazToHibernate", L"czuwajnik.exe", L" /then hibernate /for 1s", BM_CLICK, layout::kCmdTeraz, 50,
                 L"powercfg /hibernate on"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Sandbox box(500, 7);
        fs::copy_file(fs::path(gUtility).replace_extension(L".com"), box.path + L"czuwajnik.com");
        fs::current_path(box.path);
        const UniqueHandle out(Inheritable(L"out.txt")), err(Inheritable(L"err.txt"));
        const std::wstring program = (row.program == cmd ? L"" : box.path) + row.program;
        box.utility = Spawn(program, row.arguments, true, out.get(), err.get());
        const bool boxes = row.program == L"czuwajnik.exe";
        if (boxes) {
            HWND countdown = TopLevel(box.Pid(), layout::kCountdownClassName)[0];
            GUITHREADINFO gui{sizeof gui};
            const DWORD thread = GetWindowThreadProcessId(countdown, nullptr);
            WaitFor("the focus", [&] { return GetGUIThreadInfo(thread, &gui) && gui.hwndFocus != nullptr; });
            EXPECT_EQ(std::pair(GetDlgCtrlID(gui.hwndFocus), GetWindowLongW(gui.hwndFocus, GWL_STYLE) & 0xF),
                      std::pair(int{layout::kCmdAnuluj}, LONG{BS_DEFPUSHBUTTON}));
            HWND to = row.message == WM_KEYDOWN ? gui.hwndFocus
                      : row.message == BM_CLICK ? GetDlgItem(countdown, row.wParam) : countdown;
            PostMessageW(row.message == WM_POWERBROADCAST ? box.Window() : to, row.message, row.wParam, 0);
            if (!row.shown.empty()) {
                HWND message = TopLevel(box.Pid())[0];
                EXPECT_FALSE(IsWindow(countdown)) << "the countdown is gone";
                EXPECT_THAT(Describe(message), AllOf(StartsWith(L"Czuwajnik: 1 button 1 icon:"), HasSubstr(row.shown)));
                Press(message, IDOK);
            }
        }
        EXPECT_EQ(box.ExitCode(kPatienceMs), row.exitCode);
        const std::wstring errors = Decoded(ReadAll(L"err.txt")), expected = boxes ? L"" : row.shown;
        EXPECT_THAT(Decoded(ReadAll(L"out.txt")), StartsWith(row.out));
        EXPECT_EQ(errors.substr(0, expected.empty() ? std::wstring::npos : expected.size()), expected) << "stderr";
        EXPECT_EQ(ReadAll(L"powrprof.txt"), row.asked);
    }
}

// A run for a Windows version or a display scale (CZ_WINE_VARIANT) fails unless it sees them.
bool SeesItsVariant() {
    const std::wstring variant = Variant();
    OSVERSIONINFOW version{sizeof version};
    SystemFunction<LONG(WINAPI*)(OSVERSIONINFOW*)>(L"ntdll.dll", "RtlGetVersion")(&version);
    const std::wstring seen = std::to_wstring(version.dwMajorVersion) + L"." + std::to_wstring(version.dwMinorVersion) +
                              L", " + std::to_wstring(ScreenDpi()) + L" DPI";
    const std::wstring wanted = (variant == L"win7" ? L"6.1, " : L"10.0, ") +
                                std::to_wstring(variant == L"dpi144" ? 144 : 96) + L" DPI";
    if (seen != wanted)
        std::fwprintf(stderr, L"The '%ls' run sees Windows %ls, not %ls.\n", variant.c_str(), seen.c_str(),
                      wanted.c_str());
    return seen == wanted;
}

}  // namespace
}  // namespace czuwajnik::win32

int wmain(int argc, wchar_t** argv) {
    using namespace czuwajnik::win32;
    if (Self().filename() == L"child.exe") return RunChild(Self().parent_path());
    if (argc == 3 && std::wstring(argv[1]) == L"--writer") return RunWriter(_wtoi(argv[2]));
    if (!SeesItsVariant()) return 1;
    testing::InitGoogleTest(&argc, argv);
    if (argc > 1) gUtility = fs::absolute(argv[1]);
    return RUN_ALL_TESTS();
}
