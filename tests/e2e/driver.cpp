// End-to-end driver: puts the real czuwajnik.exe into a fresh folder, starts it, works
// its window from outside the way a user would, and checks what it shows, what it starts
// and the settings file it leaves behind. One line per check; any failure fails the run.
//
//   driver.exe <scenario> <czuwajnik.exe> <child.exe>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kCommand1 = 101, kLabel1 = 102, kCommand2 = 103, kCheck1 = 104;
constexpr WPARAM kMenuBrowse = 201, kMenuRun = 202, kMenuEnd = 204, kMenuAbout = 301;
constexpr int kFileNameBox = 1148;  // cmb13 of the open-file dialog
constexpr int kSkipped = 77;        // the exit code ctest takes for a skipped test
// How long anything that should happen is waited for.
constexpr DWORD kPatienceMs = 15000;
const std::wstring kClass = L"Czuwajnik.Form1", kCaption = L"Czuwajnik", kPrefix = L"Program: ";
const std::wstring kChildFolder = L"Gry, zabawy ąęż";  // blanks, a comma and Polish letters
const std::string kEmptyRecord = "\"\"\r\n#FALSE#\r\n";

int gChecks = 0, gFailures = 0;
bool gSkipped = false;
std::wstring gUtilityExe, gChildExe;
// Set where 32-bit Wine runs through qemu: everything is slower there, and the open-file
// dialog crashes now and then in any program.
bool gQemu = false;
// How soon the window must appear, and the utility end after its program.
DWORD gWindowWithinMs = 2000, gFollowWithinMs = 1000;

// ---- Text, output and checks ----

std::string Narrow(const std::wstring& text, UINT codePage = CP_UTF8) {
    std::string bytes(text.size() * 4, '\0');
    bytes.resize(WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                                     static_cast<int>(bytes.size()), nullptr, nullptr));
    return bytes;
}

std::wstring Widen(const std::string& bytes) {
    std::wstring text(bytes.size(), L'\0');
    text.resize(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(),
                                    static_cast<int>(text.size())));
    return text;
}

void Print(const std::wstring& line) {
    const std::string bytes = Narrow(line + L"\n");
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// Bytes as a readable C-like literal, cut after 120 of them.
std::wstring Escaped(const std::string& bytes) {
    std::wstring text = L"\"";
    for (std::size_t i = 0; i < bytes.size() && i < 120; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        wchar_t hex[8];
        swprintf(hex, 8, L"\\x%02X", c);
        text += c == '\r' ? L"\\r" : c == '\n' ? L"\\n" : c >= 0x20 && c < 0x7F ? std::wstring(1, c) : hex;
    }
    return text + (bytes.size() > 120 ? L"\"... (" + std::to_wstring(bytes.size()) + L" bytes)" : L"\"");
}

bool Check(bool ok, const std::wstring& what, const std::wstring& detail = L"") {
    ++gChecks;
    if (!ok) ++gFailures;
    Print((ok ? L"PASS  " : L"FAIL  ") + what + (ok || detail.empty() ? L"" : L"  [" + detail + L"]"));
    return ok;
}

bool CheckText(const std::wstring& got, const std::wstring& want, const std::wstring& what) {
    return Check(got == want, what, L"got " + Escaped(Narrow(got)) + L", want " + Escaped(Narrow(want)));
}

bool StartsWith(const std::wstring& text, const std::wstring& start) {
    return text.compare(0, start.size(), start) == 0;
}

template <typename Text>
std::vector<Text> Split(const Text& text, const Text& separator) {
    std::vector<Text> parts;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == Text::npos) return parts;
        start = end + separator.size();
    }
}

double TimeOfDay() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return now.wHour * 3600 + now.wMinute * 60 + now.wSecond + now.wMilliseconds / 1000.0;
}

std::wstring Clock(double seconds) {
    wchar_t text[32];
    const int whole = static_cast<int>(seconds);
    swprintf(text, 32, L"%02d:%02d:%06.3f", whole / 3600, whole / 60 % 60, std::fmod(seconds, 60.0));
    return text;
}

template <typename Condition>
bool WaitFor(Condition done, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (done()) return true;
        if (GetTickCount64() >= end) return false;
        Sleep(50);
    }
}

// ---- Handles and files ----

struct HandleCloser {
    void operator()(HANDLE handle) const {
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

std::optional<std::string> ReadBytes(const std::wstring& name) {
    UniqueHandle file(CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string bytes(GetFileSize(file.get(), nullptr), '\0');
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) return std::nullopt;
    bytes.resize(got);
    return bytes;
}

bool WriteBytes(const std::wstring& name, const std::string& bytes) {
    UniqueHandle file(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return file.get() != INVALID_HANDLE_VALUE &&
           WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

bool CheckBytes(const std::wstring& file, const std::string& want, const std::wstring& what) {
    const std::optional<std::string> got = ReadBytes(file);
    return Check(got == want, what, (got ? L"got " + Escaped(*got) : L"no file") + L", want " + Escaped(want));
}

// Calls `visit(folder, found)` for every entry of `folder` (with its trailing backslash) matching `pattern`.
template <typename Visit>
void ForEachFile(const std::wstring& folder, const wchar_t* pattern, Visit visit) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (wcscmp(found.cFileName, L".") != 0 && wcscmp(found.cFileName, L"..") != 0) visit(found);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

void RemoveTree(const std::wstring& folder) {
    ForEachFile(folder, L"*", [&](const WIN32_FIND_DATAW& found) {
        const std::wstring path = folder + found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(path + L"\\");
        else DeleteFileW(path.c_str());
    });
    RemoveDirectoryW(folder.c_str());
}

// A settings file as the utility writes it: the path in Windows-1250.
std::string Record(const std::wstring& path, bool ticked) {
    return "\"" + Narrow(path, 1250) + "\"\r\n" + (ticked ? "#TRUE#" : "#FALSE#") + "\r\n";
}

// ---- The sandbox: a fresh folder with the utility, and the child in a subfolder ----

struct Sandbox {
    std::wstring root, exe, childFolder, child;
    bool ready = false;

    Sandbox() {
        wchar_t temp[MAX_PATH], longTemp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        if (GetLongPathNameW(temp, longTemp, MAX_PATH) == 0) wcscpy(longTemp, temp);
        root = std::wstring(longTemp) + L"czuwajnik-e2e-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::to_wstring(GetTickCount64()) + L"\\";
        childFolder = root + kChildFolder + L"\\";
        exe = root + L"czuwajnik.exe";
        child = childFolder + L"child.exe";
        ready = CreateDirectoryW(root.c_str(), nullptr) && CreateDirectoryW(childFolder.c_str(), nullptr) &&
                CopyFileW(gUtilityExe.c_str(), exe.c_str(), TRUE) && CopyFileW(gChildExe.c_str(), child.c_str(), TRUE);
    }
    ~Sandbox() { RemoveTree(root); }
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    std::wstring Settings() const { return root + L"ustawienia.dat"; }
    // How the child started next behaves: it sleeps `ms`, then exits with `code`.
    void ChildRuns(unsigned ms, int code = 0) const {
        WriteBytes(childFolder + L"child.cfg", std::to_string(ms) + " " + std::to_string(code) + "\n");
    }
};

// What one run of the child wrote about itself.
struct Report {
    std::wstring cwd, commandLine;
    bool exited = false;
};

std::vector<Report> Reports(const Sandbox& sandbox) {
    std::vector<Report> reports;
    ForEachFile(sandbox.childFolder, L"report-*.txt", [&](const WIN32_FIND_DATAW& found) {
        // Complete lines only: "cwd\ncommand line\n", then "exit\n".
        const auto lines = Split(ReadBytes(sandbox.childFolder + found.cFileName).value_or(""), std::string("\n"));
        if (lines.size() >= 3)
            reports.push_back({Widen(lines[0]), Widen(lines[1]), lines.size() >= 4 && lines[2] == "exit"});
    });
    return reports;
}

std::size_t CountExited(const std::vector<Report>& reports) {
    std::size_t count = 0;
    for (const Report& report : reports) count += report.exited;
    return count;
}

// ---- Windows of another process ----

std::wstring ClassName(HWND window) {
    wchar_t name[256] = L"";
    GetClassNameW(window, name, 256);
    return name;
}

// WM_GETTEXT, which crosses into the owning process.
std::wstring Text(HWND window) {
    DWORD_PTR length = 0, copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kPatienceMs, &length)) return L"<no answer>";
    std::wstring text(length + 1, L'\0');
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL,
                        kPatienceMs, &copied);
    text.resize(copied);
    return text;
}

BOOL CALLBACK Collect(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> windows;
    EnumChildWindows(parent, Collect, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

HWND FindTopLevel(DWORD pid, const std::wstring& className) {
    std::vector<HWND> windows;
    EnumWindows(Collect, reinterpret_cast<LPARAM>(&windows));
    for (HWND window : windows) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == pid && IsWindowVisible(window) && ClassName(window) == className) return window;
    }
    return nullptr;
}

// ---- The utility under test ----

struct Utility {
    UniqueHandle process;
    DWORD pid = 0, thread = 0;
    HWND window = nullptr;

    ~Utility() {
        if (process && Alive()) TerminateProcess(process.get(), 1), WaitForSingleObject(process.get(), kPatienceMs);
    }
    Utility() = default;
    Utility(Utility&&) = default;

    HWND Item(int id) const { return GetDlgItem(window, id); }
    bool Alive() const { return WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT; }
    void Menu(WPARAM id) const { PostMessageW(window, WM_COMMAND, id, 0); }
    void Click(int id) const { PostMessageW(Item(id), BM_CLICK, 0, 0); }
    bool Ticked() const { return SendMessageW(Item(kCheck1), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    std::wstring Label() const { return Text(Item(kLabel1)); }
    // Lets posted messages be handled before the window is looked at again.
    void Settle() const {
        Sleep(400);
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kPatienceMs, nullptr);
    }
    bool EndedCleanly(DWORD timeoutMs) const {
        DWORD code = 1;
        return WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0 &&
               GetExitCodeProcess(process.get(), &code) && code == 0;
    }
};

Utility Launch(const Sandbox& sandbox, const std::wstring& cwd) {
    Utility utility;
    std::wstring commandLine = L"\"" + sandbox.exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const ULONGLONG started = GetTickCount64();
    if (!Check(CreateProcessW(sandbox.exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              cwd.c_str(), &startup, &info),
               L"czuwajnik.exe starts in " + cwd))
        return utility;
    utility.process.reset(info.hProcess);
    CloseHandle(info.hThread);
    utility.pid = info.dwProcessId;
    utility.thread = info.dwThreadId;
    WaitFor([&] { return (utility.window = FindTopLevel(utility.pid, kClass)) != nullptr; }, kPatienceMs);
    const auto ms = GetTickCount64() - started;
    Check(utility.window != nullptr && ms <= gWindowWithinMs, L"its window appears (" + std::to_wstring(ms) + L" ms)");
    // The settings were read before the window showed. With the file gone, whatever is
    // found beside the exe at the end was written by this run.
    DeleteFileW(sandbox.Settings().c_str());
    return utility;
}

void CheckShows(const Utility& utility, const std::wstring& label, bool ticked) {
    CheckText(utility.Label(), label, L"the label");
    Check(utility.Ticked() == ticked, ticked ? L"the box is ticked" : L"the box is unticked");
}

// Idle: the window shown and Uruchom enabled; watching: minimised and Uruchom disabled.
void CheckIdle(const Utility& utility, bool idle) {
    Check(!IsIconic(utility.window) == idle, idle ? L"the window is not minimised" : L"the window is minimised");
    Check(!IsWindowEnabled(utility.Item(kCommand1)) != idle, idle ? L"Uruchom is enabled" : L"Uruchom is disabled");
}

enum class End { CloseBox, Koniec };

void EndAndCheckFile(const Utility& utility, const Sandbox& sandbox, End how, const std::string& want) {
    if (how == End::CloseBox) PostMessageW(utility.window, WM_CLOSE, 0, 0);
    else utility.Menu(kMenuEnd);
    const std::wstring way = how == End::CloseBox ? L"the close box" : L"&Koniec";
    Check(utility.EndedCleanly(kPatienceMs), L"the utility ends (code 0) by " + way);
    CheckBytes(sandbox.Settings(), want, L"ustawienia.dat beside the exe");
}

// Waits for every started copy of the child to end; the utility must follow at once.
void CheckEndsWithChild(const Utility& utility, const Sandbox& sandbox, DWORD childMs) {
    Check(WaitFor([&] { const auto r = Reports(sandbox); return !r.empty() && CountExited(r) == r.size(); },
                  childMs + kPatienceMs),
          L"the program ends");
    const ULONGLONG childEnded = GetTickCount64();
    const bool ended = utility.EndedCleanly(gFollowWithinMs);
    Check(ended, L"the utility ends (code 0) after it, in " + std::to_wstring(GetTickCount64() - childEnded) + L" ms");
}

std::optional<Report> WaitFirstReport(const Sandbox& sandbox, const std::wstring& what) {
    std::vector<Report> reports;
    Check(WaitFor([&] { return !(reports = Reports(sandbox)).empty(); }, kPatienceMs), what);
    if (reports.empty()) return std::nullopt;
    return reports.front();
}

void CheckStartedRight(const Sandbox& sandbox, const Report& report) {
    CheckText(report.cwd, sandbox.childFolder.substr(0, sandbox.childFolder.size() - 1),
              L"the program's working directory is its own folder");
    CheckText(report.commandLine, L"\"" + sandbox.child + L"\"", L"the program's command line is its quoted path");
}

// ---- Dialogs of the utility ----

HWND WaitDialog(const Utility& utility) {
    HWND dialog = nullptr;
    WaitFor([&] { return (dialog = FindTopLevel(utility.pid, L"#32770")) != nullptr; }, kPatienceMs);
    return dialog;
}

bool Dismiss(HWND dialog, int button) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
    return WaitFor([&] { return !IsWindow(dialog); }, kPatienceMs);
}

// The message text: the longest static text of the box.
std::wstring MessageText(HWND box) {
    std::wstring longest;
    for (HWND child : Children(box))
        if (_wcsicmp(ClassName(child).c_str(), L"Static") == 0 && IsWindowVisible(child)) {
            const std::wstring text = Text(child);
            if (text.size() > longest.size()) longest = text;
        }
    return longest;
}

// What a message box shows besides its text.
std::wstring Furniture(HWND box) {
    int buttons = 0, icons = 0;
    for (HWND child : Children(box)) {
        if (!IsWindowVisible(child)) continue;
        const std::wstring name = ClassName(child);
        buttons += _wcsicmp(name.c_str(), L"Button") == 0;
        icons += _wcsicmp(name.c_str(), L"Static") == 0 &&
                 (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
                 SendMessageW(child, STM_GETICON, 0, 0) != 0;
    }
    return std::to_wstring(buttons) + L" button(s), " + std::to_wstring(icons) + L" icon(s)";
}

// Types a path into the file name box and presses OK.
bool Choose(HWND dialog, const std::wstring& path) {
    HWND box = GetDlgItem(dialog, kFileNameBox);
    HWND edit = FindWindowExW(box, nullptr, L"Edit", nullptr);
    SendMessageTimeoutW(edit ? edit : box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()), SMTO_NORMAL,
                        kPatienceMs, nullptr);
    return Dismiss(dialog, IDOK);
}

// ---- Scenarios ----

void FirstStart(Sandbox& sandbox) {
    Utility u = Launch(sandbox, sandbox.root);
    if (u.window == nullptr) return;
    wchar_t caption[64] = L"";
    GetWindowTextW(u.window, caption, 64);
    CheckText(caption, kCaption, L"the caption");

    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    const auto px = [dpi](int twips) { return MulDiv(twips, dpi, 1440); };
    const auto size = [](int w, int h) { return std::to_wstring(w) + L"x" + std::to_wstring(h); };
    RECT client;
    GetClientRect(u.window, &client);
    CheckText(size(client.right, client.bottom), size(px(5460), px(2400)),
              L"the client area at " + std::to_wstring(dpi) + L" DPI");

    struct Expected {
        int id;
        const wchar_t *className, *text;
        int left, top, width, height;
        LONG buttonType;  // -1: not a button
    };
    const Expected controls[] = {
        {kCommand1, L"Button", L"Uruchom", 1680, 1560, 2175, 495, BS_PUSHBUTTON},
        {kLabel1, L"Static", L"Program:", 120, 360, 3615, 255, -1},
        {kCommand2, L"Button", L"Przeglądaj...", 4080, 240, 1215, 375, BS_PUSHBUTTON},
        {kCheck1, L"Button", L"Uruchamiaj automatycznie", 120, 840, 2295, 255, BS_AUTOCHECKBOX},
    };
    HWND next = GetWindow(u.window, GW_CHILD);
    for (const Expected& c : controls) {
        HWND control = u.Item(c.id);
        const std::wstring name = L"control " + std::to_wstring(c.id) + L" ";
        Check(control != nullptr && control == next, name + L"exists and is next in z (tab) order");
        next = GetWindow(next, GW_HWNDNEXT);
        CheckText(ClassName(control), c.className, name + L"class");
        CheckText(Text(control), c.text, name + L"text");
        RECT r;
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, u.window, reinterpret_cast<POINT*>(&r), 2);
        const auto box = [&](int l, int t, int w, int h) { return size(l, t) + L" " + size(w, h); };
        CheckText(box(r.left, r.top, r.right - r.left, r.bottom - r.top),
                  box(px(c.left), px(c.top), px(c.width), px(c.height)), name + L"position and size (px)");
        Check(IsWindowVisible(control) && IsWindowEnabled(control), name + L"visible and enabled");
        if (c.buttonType >= 0)
            Check((GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) == c.buttonType,
                  name + (c.buttonType == BS_PUSHBUTTON ? L"is a plain push button, not the default one"
                                                        : L"is an automatic check box"));
    }
    Check(next == nullptr, L"no other controls");
    HWND command1 = u.Item(kCommand1), command2 = u.Item(kCommand2), check1 = u.Item(kCheck1);
    Check(GetNextDlgTabItem(u.window, command1, FALSE) == command2 &&
              GetNextDlgTabItem(u.window, command2, FALSE) == check1 &&
              GetNextDlgTabItem(u.window, check1, FALSE) == command1,
          L"Tab goes Uruchom -> Przeglądaj... -> Uruchamiaj automatycznie -> Uruchom");
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    Check(GetGUIThreadInfo(u.thread, &gui) && gui.hwndFocus == command1, L"Uruchom has the focus");
    CheckShows(u, L"Program:", false);
    CheckIdle(u, true);

    u.Menu(kMenuAbout);
    if (HWND box = WaitDialog(u); Check(box != nullptr, L"O programie... shows a message box")) {
        CheckText(Text(box), kCaption, L"its title");
        const std::wstring text = MessageText(box);
        const auto lines = Split(text, std::wstring(L"\r\n"));
        bool clean = true;
        for (const std::wstring& line : lines)
            clean = clean && !line.empty() && line.find_first_of(L"\r\n") == line.npos;
        Check(lines.size() == 4 && clean && lines[0] == L"Czuwajnik 1.1",
              L"its text is four CR LF lines, the first \"Czuwajnik 1.1\"", Escaped(Narrow(text)));
        CheckText(Furniture(box), L"1 button(s), 0 icon(s)", L"it has just the OK button, no icon");
        Check(Dismiss(box, IDOK), L"OK closes it");
    }

    u.Menu(kMenuRun);
    u.Settle();
    Print(L"after &Uruchom with no program chosen:");
    CheckIdle(u, true);
    Check(u.Alive(), L"the utility goes on");
    EndAndCheckFile(u, sandbox, End::CloseBox, kEmptyRecord);
}

void TickedAutorun(Sandbox& sandbox) {
    sandbox.ChildRuns(3000);
    const std::string record = Record(sandbox.child, true);
    WriteBytes(sandbox.Settings(), record);
    Utility u = Launch(sandbox, sandbox.root);
    if (u.window == nullptr) return;
    CheckShows(u, kPrefix + sandbox.child, true);
    const std::optional<Report> report = WaitFirstReport(sandbox, L"the program starts by itself");
    if (!report) return;
    CheckStartedRight(sandbox, *report);
    CheckIdle(u, false);
    CheckEndsWithChild(u, sandbox, 3000);
    Check(Reports(sandbox).size() == 1, L"the program was started once");
    CheckBytes(sandbox.Settings(), record, L"ustawienia.dat beside the exe is written again");
}

void PolishPath(Sandbox& sandbox) {
    Check(GetACP() == 1250, L"the ANSI code page is Windows-1250", std::to_wstring(GetACP()));
    const std::string record = Record(sandbox.child, false);
    WriteBytes(sandbox.Settings(), record);
    Utility u = Launch(sandbox, sandbox.root);
    if (u.window == nullptr) return;
    CheckShows(u, kPrefix + sandbox.child, false);
    EndAndCheckFile(u, sandbox, End::Koniec, record);
}

void OtherCwd(Sandbox& sandbox) {
    const std::wstring other = sandbox.root + L"inny folder\\";
    const std::wstring program = L"C:\\Programy\\gra.exe";
    const std::string record = Record(program, false);
    CreateDirectoryW(other.c_str(), nullptr);
    WriteBytes(other + L"ustawienia.dat", record);
    Utility u = Launch(sandbox, other);
    if (u.window == nullptr) return;
    CheckShows(u, kPrefix + program, false);
    // Ticked, so that what is written differs from what was read.
    u.Click(kCheck1);
    Check(WaitFor([&] { return u.Ticked(); }, kPatienceMs), L"a click ticks the box");
    EndAndCheckFile(u, sandbox, End::Koniec, Record(program, true));
    CheckBytes(other + L"ustawienia.dat", record, L"the file in the starting folder is unchanged");
    int files = 0;
    ForEachFile(other, L"*", [&](const WIN32_FIND_DATAW&) { ++files; });
    Check(files == 1, L"nothing else is left in the starting folder");
}

void KoniecVsClose(Sandbox& sandbox) {
    const std::wstring program = L"C:\\Gry\\gra.exe";
    std::vector<std::optional<std::string>> written;
    for (End how : {End::Koniec, End::CloseBox}) {
        WriteBytes(sandbox.Settings(), Record(program, false));
        Utility u = Launch(sandbox, sandbox.root);
        if (u.window == nullptr) return;
        CheckShows(u, kPrefix + program, false);
        u.Click(kCheck1);
        Check(WaitFor([&] { return u.Ticked(); }, kPatienceMs), L"a click ticks the box");
        EndAndCheckFile(u, sandbox, how, Record(program, true));
        written.push_back(ReadBytes(sandbox.Settings()));
    }
    Check(written[0] == written[1], L"&Koniec and the close box write the same bytes");
}

void Malformed(Sandbox& sandbox) {
    const std::string child = Narrow(sandbox.child, 1250);
    std::string junk(512, '\0');
    unsigned seed = 12345;
    for (char& c : junk) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16);
    junk[0] = '\0';
    struct Case {
        const wchar_t* name;
        std::string bytes, written;
    };
    const Case cases[] = {
        {L"no closing quote", "\"" + child + "\r\n#TRUE#\r\n", kEmptyRecord},
        {L"no opening quote", child + "\"\r\n#TRUE#\r\n", kEmptyRecord},
        {L"unknown flag #YES# (the path is kept)", "\"" + child + "\"\r\n#YES#\r\n", Record(sandbox.child, false)},
        {L"binary junk", junk, kEmptyRecord},
        {L"a valid start in a 10 MB file", Record(sandbox.child, true) + std::string(10 << 20, 'x'), kEmptyRecord},
    };
    for (const Case& c : cases) {
        Print(L"-- " + std::wstring(c.name));
        WriteBytes(sandbox.Settings(), c.bytes);
        Utility u = Launch(sandbox, sandbox.root);
        if (u.window == nullptr) continue;
        CheckShows(u, L"Program:", false);
        u.Settle();
        Check(Reports(sandbox).empty(), L"nothing is started");
        CheckIdle(u, true);
        EndAndCheckFile(u, sandbox, End::CloseBox, c.written);
    }
}

void Pulse(Sandbox& sandbox) {
    const double start = TimeOfDay(), boundary = std::ceil(start / 180) * 180;
    Print(L"driver clock " + Clock(start) + L", next 3-minute boundary " + Clock(boundary));
    if (!Check(boundary - start < 20, L"the session clock starts shortly before a 3-minute boundary")) return;
    const auto childMs = static_cast<DWORD>((boundary - start) * 1000) + 3000;
    sandbox.ChildRuns(childMs);
    const std::string record = Record(sandbox.child, true);
    WriteBytes(sandbox.Settings(), record);
    Utility u = Launch(sandbox, sandbox.root);
    if (u.window == nullptr || !Check(TimeOfDay() < boundary - 0.5, L"the watch begins before the boundary")) return;
    bool scroll = GetKeyState(VK_SCROLL) & 1;
    LASTINPUTINFO input{sizeof input, 0};
    GetLastInputInfo(&input);
    DWORD lastInput = input.dwTime;
    std::vector<double> toggles, inputs;
    WaitFor([&] {
        const double now = TimeOfDay();
        if (bool state = GetKeyState(VK_SCROLL) & 1; state != scroll) scroll = state, toggles.push_back(now);
        if (GetLastInputInfo(&input) && input.dwTime != lastInput) lastInput = input.dwTime, inputs.push_back(now);
        return !u.Alive();
    }, childMs + kPatienceMs);
    for (double t : toggles) Print(L"Scroll Lock toggled at " + Clock(t));
    for (double t : inputs) Print(L"last input time changed at " + Clock(t));
    Check(toggles.size() == 1, L"exactly one Scroll Lock press and release",
          std::to_wstring(toggles.size()) + L" toggles");
    if (!toggles.empty())
        Check(toggles[0] >= boundary - 0.6 && toggles[0] <= boundary + 0.9, L"it comes at the boundary");
    bool together = !inputs.empty();
    for (double t : inputs) together = together && !toggles.empty() && std::fabs(t - toggles[0]) < 1.0;
    Check(together, L"the last input time is reset with it, and only then");
    Check(CountExited(Reports(sandbox)) == 1, L"the program ran to its end");
    Check(u.EndedCleanly(0), L"the utility ended with it");
    CheckBytes(sandbox.Settings(), record, L"ustawienia.dat beside the exe is written again");
}

void StartFailure(Sandbox& sandbox) {
    const std::wstring missing = sandbox.root + L"brak\\nie ma.exe";
    const std::string record = Record(missing, false);
    WriteBytes(sandbox.Settings(), record);
    Utility u = Launch(sandbox, sandbox.root);
    if (u.window == nullptr) return;
    CheckShows(u, kPrefix + missing, false);
    u.Click(kCommand1);
    if (HWND box = WaitDialog(u); Check(box != nullptr, L"Uruchom with a missing program shows a message box")) {
        CheckText(Text(box), kCaption, L"its title");
        const std::wstring text = MessageText(box), start = L"Nie można uruchomić programu:\r\n" + missing;
        Check(StartsWith(text, start), L"its text names the program", Escaped(Narrow(text)));
        Check(Dismiss(box, IDOK), L"OK closes it");
    }
    u.Settle();
    CheckIdle(u, true);
    Check(u.Alive(), L"the utility goes on");
    EndAndCheckFile(u, sandbox, End::CloseBox, record);
}

void SecondLaunch(Sandbox& sandbox) {
    sandbox.ChildRuns(2500, 1);  // any exit code ends a watch
    const std::string record = Record(sandbox.child, true);
    WriteBytes(sandbox.Settings(), record);
    Utility u = Launch(sandbox, sandbox.root);
    if (u.window == nullptr || !WaitFirstReport(sandbox, L"the program starts by itself")) return;
    sandbox.ChildRuns(5000, 2);
    u.Menu(kMenuRun);
    std::vector<Report> reports;
    Check(WaitFor([&] { return (reports = Reports(sandbox)).size() == 2; }, kPatienceMs),
          L"&Uruchom starts a second copy while the first runs");
    for (const Report& report : reports) CheckStartedRight(sandbox, report);
    Check(WaitFor([&] { return CountExited(Reports(sandbox)) == 1; }, kPatienceMs), L"the first copy ends");
    Check(!u.EndedCleanly(1000) && u.Alive(), L"the utility stays while the second copy runs");
    CheckEndsWithChild(u, sandbox, 5000);
    CheckBytes(sandbox.Settings(), record, L"ustawienia.dat beside the exe is written again");
}

// Where each file dialog opens is seen the way a user sees it: a name typed relative to
// the folder it shows must find the program. (CDM_GETFOLDERPATH would need a buffer read
// back from the utility's memory, which 32-bit Wine under qemu cannot do.)
void Browse(Sandbox& sandbox) {
    if (gQemu) {
        // Its file dialog crashes now and then there, in any program: the 64-bit build covers this.
        Print(L"SKIP  the open-file dialog under 32-bit Wine run through qemu");
        gSkipped = true;
        return;
    }
    sandbox.ChildRuns(1000);
    Utility u = Launch(sandbox, sandbox.root);
    if (u.window == nullptr || !Check(StartsWith(sandbox.child, L"C:\\"), L"the sandbox is on drive C:")) return;
    struct Step {
        bool byMenu;
        std::wstring typed;  // empty: Cancel
        const wchar_t* what;
    };
    const Step steps[] = {
        {false, sandbox.child.substr(3), L"Przeglądaj... opens at C:\\ (a path relative to it is found)"},
        {true, L"child.exe", L"&Przeglądaj... opens at the chosen program's folder"},
        {true, L"", L"&Przeglądaj... then Cancel"},
        {false, L"child.exe", L"Przeglądaj... still opens at the chosen program's folder"},
    };
    for (const Step& step : steps) {
        if (step.byMenu) u.Menu(kMenuBrowse);
        else u.Click(kCommand2);
        HWND dialog = WaitDialog(u);
        bool done = Check(dialog != nullptr, L"a dialog opens") &&
                    CheckText(Text(dialog), L"Wybierz program.", L"its title") &&
                    Check(step.typed.empty() ? Dismiss(dialog, IDCANCEL) : Choose(dialog, step.typed), step.what);
        if (done) {
            u.Settle();
            done = CheckText(u.Label(), kPrefix + (step.typed.empty() ? L"" : sandbox.child), L"the label");
        }
        if (!done) return;
    }
    u.Click(kCommand1);
    const std::optional<Report> report = WaitFirstReport(sandbox, L"Uruchom starts the chosen program");
    if (!report) return;
    CheckStartedRight(sandbox, *report);
    CheckEndsWithChild(u, sandbox, 1000);
    CheckBytes(sandbox.Settings(), Record(sandbox.child, false), L"ustawienia.dat holds the chosen program");
}

// The process id of a started child, from its report's name.
std::optional<DWORD> FirstReportPid(const Sandbox& sandbox) {
    std::optional<DWORD> pid;
    ForEachFile(sandbox.childFolder, L"report-*.txt",
                [&](const WIN32_FIND_DATAW& found) { pid = wcstoul(found.cFileName + 7, nullptr, 10); });
    return pid;
}

// Every copy started must be gone before the sandbox is removed.
std::vector<Utility> LaunchCopies(const Sandbox& sandbox, const std::vector<std::wstring>& folders) {
    std::vector<Utility> copies;
    for (const std::wstring& folder : folders) copies.push_back(Launch(sandbox, folder));
    return copies;
}

bool NoTemporaryFiles(const Sandbox& sandbox) {
    int temporary = 0;
    ForEachFile(sandbox.root, L"*.tmp", [&](const WIN32_FIND_DATAW&) { ++temporary; });
    return temporary == 0;
}

// The settings file beside the exe cannot be replaced at the end (held open without
// sharing): the user is told which file and why, the earlier file stays, the process ends.
// A copy killed while it runs leaves the earlier file alone as well.
void FaultsAtEnd(Sandbox& sandbox) {
    const std::string earlier = Record(L"C:\\Gry\\stara.exe", true), record = Record(L"C:\\Gry\\nowa.exe", false);
    WriteBytes(sandbox.Settings(), record);
    {
        Utility u = Launch(sandbox, sandbox.root);
        if (u.window == nullptr) return;
        WriteBytes(sandbox.Settings(), earlier);
        TerminateProcess(u.process.get(), 9);
        Check(WaitForSingleObject(u.process.get(), kPatienceMs) == WAIT_OBJECT_0, L"a killed copy ends");
        CheckBytes(sandbox.Settings(), earlier, L"the earlier ustawienia.dat is intact after the kill");
    }
    WriteBytes(sandbox.Settings(), record);
    Utility u = Launch(sandbox, sandbox.root);
    if (u.window == nullptr) return;
    WriteBytes(sandbox.Settings(), earlier);
    UniqueHandle held(CreateFileW(sandbox.Settings().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!Check(held.get() != INVALID_HANDLE_VALUE, L"ustawienia.dat is held open without sharing")) return;
    PostMessageW(u.window, WM_CLOSE, 0, 0);
    if (HWND box = WaitDialog(u); Check(box != nullptr, L"closing shows a message box")) {
        CheckText(Text(box), kCaption, L"its title");
        const std::wstring text = MessageText(box);
        Check(text.find(sandbox.Settings()) != std::wstring::npos && text.find(L"(kod ") != std::wstring::npos,
              L"its text names the file and the system's reason", Escaped(Narrow(text)));
        Dismiss(box, IDOK);
    }
    DWORD code = 0;
    Check(WaitForSingleObject(u.process.get(), kPatienceMs) == WAIT_OBJECT_0 &&
              GetExitCodeProcess(u.process.get(), &code) && code != 0,
          L"the utility ends, reporting the failure in its exit code");
    held.reset();
    CheckBytes(sandbox.Settings(), earlier, L"the earlier ustawienia.dat is intact");
    Check(NoTemporaryFiles(sandbox), L"no temporary file is left beside the exe");
}

// Eight copies, each started from a folder of its own holding a different path, end at
// the same moment: the file beside the exe is whole, one copy's content, every time.
void Race(Sandbox& sandbox) {
    std::vector<std::wstring> folders;
    std::vector<std::string> records;
    for (int copy = 0; copy < 8; ++copy) {
        folders.push_back(sandbox.root + L"kopia " + std::to_wstring(copy) + L"\\");
        records.push_back(Record(L"C:\\Gry\\gra numer " + std::to_wstring(copy) + L".exe", copy % 2 == 0));
        CreateDirectoryW(folders.back().c_str(), nullptr);
        WriteBytes(folders.back() + L"ustawienia.dat", records.back());
    }
    for (int round = 1; round <= 3; ++round) {
        std::vector<Utility> copies = LaunchCopies(sandbox, folders);
        for (const Utility& u : copies)
            if (u.window == nullptr) return;
        for (const Utility& u : copies) PostMessageW(u.window, WM_CLOSE, 0, 0);
        bool allEnded = true;
        for (const Utility& u : copies) {
            if (u.EndedCleanly(5000)) continue;
            allEnded = false;
            if (HWND box = FindTopLevel(u.pid, L"#32770")) Print(L"a copy says: " + MessageText(box));
        }
        Check(allEnded, L"round " + std::to_wstring(round) + L": all eight copies end (code 0)");
        const std::optional<std::string> bytes = ReadBytes(sandbox.Settings());
        Check(bytes && std::find(records.begin(), records.end(), *bytes) != records.end(),
              L"round " + std::to_wstring(round) + L": ustawienia.dat is exactly one copy's settings",
              bytes ? Escaped(*bytes) : L"missing");
        Check(NoTemporaryFiles(sandbox), L"no temporary file is left beside the exe");
    }
}

// A watched program that is killed, or that crashes, ends the watch as an exit does.
void WatchedDies(Sandbox& sandbox) {
    const std::string record = Record(sandbox.child, true);
    for (bool crash : {false, true}) {
        Print(crash ? L"-- the program crashes" : L"-- the program is killed");
        // The child crashes after its sleep when asked for the access-violation code.
        sandbox.ChildRuns(crash ? 1500 : 60000, crash ? static_cast<int>(EXCEPTION_ACCESS_VIOLATION) : 0);
        WriteBytes(sandbox.Settings(), record);
        Utility u = Launch(sandbox, sandbox.root);
        if (u.window == nullptr) return;
        std::optional<DWORD> pid;
        Check(WaitFor([&] { return (pid = FirstReportPid(sandbox)).has_value(); }, kPatienceMs),
              L"the program starts by itself");
        if (!pid) return;
        UniqueHandle child(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, *pid));
        if (!crash) TerminateProcess(child.get(), 1);
        Check(WaitForSingleObject(child.get(), kPatienceMs) == WAIT_OBJECT_0, L"the program is gone");
        const ULONGLONG gone = GetTickCount64();
        Check(u.EndedCleanly(gFollowWithinMs),
              L"the utility ends (code 0) after it, in " + std::to_wstring(GetTickCount64() - gone) + L" ms");
        CheckBytes(sandbox.Settings(), record, L"ustawienia.dat beside the exe is written again");
        ForEachFile(sandbox.childFolder, L"report-*.txt", [&](const WIN32_FIND_DATAW& found) {
            DeleteFileW((sandbox.childFolder + found.cFileName).c_str());
        });
    }
}

struct Scenario {
    const wchar_t* name;
    void (*run)(Sandbox&);
};

constexpr Scenario kScenarios[] = {
    {L"first_start", FirstStart},       {L"ticked_autorun", TickedAutorun}, {L"polish_path", PolishPath},
    {L"other_cwd", OtherCwd},           {L"koniec_vs_close", KoniecVsClose}, {L"malformed", Malformed},
    {L"pulse", Pulse},                  {L"start_failure", StartFailure},   {L"second_launch", SecondLaunch},
    {L"browse", Browse},                {L"faults_at_end", FaultsAtEnd},    {L"race", Race},
    {L"watched_dies", WatchedDies},
};

std::wstring FullPath(const wchar_t* name) {
    wchar_t full[MAX_PATH];
    return GetFullPathNameW(name, MAX_PATH, full, nullptr) ? full : name;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const Scenario* scenario = nullptr;
    for (const Scenario& s : kScenarios)
        if (argc == 4 && wcscmp(argv[1], s.name) == 0) scenario = &s;
    if (scenario == nullptr) {
        Print(L"usage: driver <scenario> <czuwajnik.exe> <child.exe>");
        return 2;
    }
    gUtilityExe = FullPath(argv[2]);
    gChildExe = FullPath(argv[3]);
    gQemu = GetEnvironmentVariableW(L"CZ_E2E_QEMU", nullptr, 0) != 0;
    if (gQemu) gWindowWithinMs = 5000, gFollowWithinMs = 2000;
    {
        Sandbox sandbox;
        Print(L"scenario " + std::wstring(scenario->name) + L" in " + sandbox.root);
        if (Check(sandbox.ready, L"a fresh folder holds the utility and, in \"" + kChildFolder + L"\", the child"))
            scenario->run(sandbox);
    }
    Print(std::to_wstring(gChecks) + L" checks, " + std::to_wstring(gFailures) + L" failed" +
          (gSkipped ? L", the rest skipped" : L""));
    if (gChecks == 0 || gFailures != 0) return 1;
    return gSkipped ? kSkipped : 0;
}
