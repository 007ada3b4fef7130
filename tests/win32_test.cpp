// The Win32 platform in-process under Wine: the real window and its menus, the ANSI
// code page, the settings file's atomic replacement and bounded reading, and start failures.

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <thread>
#include <cstdlib>
#include <vector>

#include "platform/win32/win32_platform.h"
#include "settings/settings.h"

namespace czuwajnik::win32 {
namespace {

void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(folder + name + L"\\");
        else DeleteFileW((folder + name).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
    RemoveDirectoryW(folder.c_str());
}

// A new empty folder under %TEMP%, the current directory while the test runs.
class TempFolder {
public:
    TempFolder() {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        for (unsigned n = GetTickCount();; ++n) {
            path_ = std::wstring(base) + L"czw" + std::to_wstring(n) + L"\\";
            if (CreateDirectoryW(path_.c_str(), nullptr)) break;
        }
        SetCurrentDirectoryW(path_.c_str());
    }
    ~TempFolder() {
        SetCurrentDirectoryW(L"C:\\");
        RemoveTree(path_);
    }
    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + name; }

private:
    std::wstring path_;
};

std::string ReadAll(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::wstring& path, const std::string& bytes) {
    std::ofstream(path.c_str(), std::ios::binary) << bytes;
}

std::vector<std::wstring> FilesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

// The texts of the buttons and the check box fit their controls at the display's DPI.
std::vector<std::wstring> ClippedTexts(HWND window) {
    std::vector<std::wstring> clipped;
    for (const layout::Control& c : layout::kControls) {
        if (c.kind == layout::Kind::Label) continue;  // a long path is elided there on purpose
        HWND control = GetDlgItem(window, c.id);
        HDC dc = GetDC(control);
        HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
        SIZE extent{};
        GetTextExtentPoint32W(dc, c.text, lstrlenW(c.text), &extent);
        SelectObject(dc, previous);
        ReleaseDC(control, dc);
        RECT room;
        GetClientRect(control, &room);
        const int box = c.kind == layout::Kind::CheckBox ? GetSystemMetrics(SM_CXMENUCHECK) : 0;
        if (extent.cx + box + 4 > room.right || extent.cy > room.bottom) clipped.push_back(c.name);
    }
    return clipped;
}

TEST(Window, MenusCarryTheirCaptionsTextsFitAndTheLabelKeepsALongPath) {
    TempFolder folder;
    const std::wstring longPath = L"C:\\" + std::wstring(200, L'x') + L"\\program.exe";
    WriteAll(folder / L"ustawienia.dat", "\"" + std::string(longPath.begin(), longPath.end()) + "\"\r\n#FALSE#\r\n");

    Win32Platform platform(GetModuleHandleW(nullptr));
    Form1 form(platform);
    std::vector<std::wstring> captions, clipped{L"<window not found>"};
    std::wstring label;
    std::thread reader([&] {
        HWND window = nullptr;
        for (int i = 0; i < 200 && window == nullptr; ++i, Sleep(25))
            window = FindWindowW(layout::kClassName, layout::kCaption);
        if (window == nullptr) return;
        HMENU bar = GetMenu(window);
        for (int top = 0; top < GetMenuItemCount(bar); ++top) {
            wchar_t text[64] = L"";
            GetMenuStringW(bar, top, text, 64, MF_BYPOSITION);
            captions.push_back(text);
            HMENU popup = GetSubMenu(bar, top);
            for (int item = 0; item < GetMenuItemCount(popup); ++item) {
                text[0] = L'\0';
                GetMenuStringW(popup, item, text, 64, MF_BYPOSITION);
                captions.push_back(GetMenuItemID(popup, item) == 0 ? L"-" : text);
            }
        }
        wchar_t text[400] = L"";
        GetWindowTextW(GetDlgItem(window, layout::kLabel1), text, 400);
        label = text;
        clipped = ClippedTexts(window);
        PostMessageW(window, WM_QUIT, 0, 0);
    });
    platform.Run(form, SW_SHOWNORMAL);
    reader.join();

    EXPECT_EQ(captions, (std::vector<std::wstring>{L"&Plik", L"&Przeglądaj...", L"&Uruchom", L"-", L"&Koniec",
                                                    L"Po&moc", L"O programie..."}));
    EXPECT_EQ(label, L"Program: " + longPath);
    EXPECT_EQ(clipped, std::vector<std::wstring>{});
}

TEST(AnsiCodePage, PolishLettersConvertAndOthersAreRefusedNotReplaced) {
    ASSERT_EQ(GetACP(), 1250u) << "run with LC_ALL=pl_PL.UTF-8";
    Win32Platform platform(nullptr);
    EXPECT_EQ(platform.toAnsi(L"C:\\Łódź\\gaśnica.exe"), std::string("C:\\\xA3\xF3\x64\x9F\\ga\x9Cnica.exe"));
    EXPECT_EQ(platform.fromAnsi("C:\\\xA3\xF3\x64\x9F"), L"C:\\Łódź");
    EXPECT_EQ(platform.toAnsi(L"ä€"), std::string("\xE4\x80"));
    for (const wchar_t* text : {L"日本", L"Ωmega", L"C:\\ё.exe", L"\u2200"}) EXPECT_EQ(platform.toAnsi(text), std::nullopt);
}

TEST(Settings, APathOutsideTheCodePageIsStoredByItsShortName) {
    TempFolder folder;
    const std::wstring subfolder = folder / L"日本語 folder";
    CreateDirectoryW(subfolder.c_str(), nullptr);
    const std::wstring program = subfolder + L"\\app.exe";
    WriteAll(program, "MZ");

    Win32Platform platform(nullptr);
    settings::Write(platform, program, true);
    std::wstring stored;
    bool autoStart = false;
    ASSERT_TRUE(settings::Read(platform, stored, autoStart));
    EXPECT_TRUE(autoStart);
    EXPECT_NE(stored.find(L'~'), std::wstring::npos) << "a short name";
    // The stored form names the same file.
    wchar_t longForm[MAX_PATH];
    ASSERT_NE(GetLongPathNameW(stored.c_str(), longForm, MAX_PATH), 0u);
    EXPECT_EQ(std::wstring(longForm), program);
}

TEST(Settings, ReadingIsBoundedAndAMissingFileFails) {
    TempFolder folder;
    Win32Platform platform(nullptr);
    EXPECT_EQ(platform.readFile(L"ustawienia.dat", 10), std::nullopt);
    WriteAll(folder / L"ustawienia.dat", std::string(10 * 1024 * 1024, 'x'));
    EXPECT_EQ(platform.readFile(L"ustawienia.dat", 10)->size(), 11u);
}

// What copy number `writer` of the utility would save.
std::string WriterContent(int writer) {
    return settings::Format(std::string(20 + 30 * writer, static_cast<char>('a' + writer)), writer % 2);
}

TEST(Settings, CopiesReplacingTheFileAtOnceNeverLeaveAMixOrATruncation) {
    TempFolder folder;
    Win32Platform platform(nullptr);
    std::set<std::string> valid;
    std::vector<UniqueHandle> writers;
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    for (int writer = 0; writer < 8; ++writer) {
        valid.insert(WriterContent(writer));
        std::wstring commandLine = L"\"" + std::wstring(self) + L"\" --writer " + std::to_wstring(writer);
        STARTUPINFOW startup{sizeof startup};
        PROCESS_INFORMATION process{};
        ASSERT_TRUE(CreateProcessW(self, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                   &process));
        CloseHandle(process.hThread);
        writers.emplace_back(process.hProcess);
    }
    int reads = 0, badReads = 0;
    for (const UniqueHandle& writer : writers) {
        while (WaitForSingleObject(writer.get(), 0) == WAIT_TIMEOUT) {
            if (auto bytes = platform.readFile(L"ustawienia.dat", 4096); bytes && !valid.count(*bytes)) ++badReads;
            ++reads;
        }
        DWORD code = 1;
        GetExitCodeProcess(writer.get(), &code);
        EXPECT_EQ(code, 0u) << "a writer could not replace the file";
    }
    EXPECT_EQ(badReads, 0) << "of " << reads << " reads";
    EXPECT_EQ(valid.count(ReadAll(folder / L"ustawienia.dat")), 1u);
    EXPECT_EQ(FilesIn(folder.path()), std::vector<std::wstring>{L"ustawienia.dat"}) << "no temporary file left";
}

TEST(Settings, AFailedReplacementNamesTheFileAndKeepsTheOldContent) {
    TempFolder folder;
    Win32Platform platform(nullptr);
    WriteAll(folder / L"ustawienia.dat", "\"old\"\r\n#TRUE#\r\n");
    UniqueHandle held(CreateFileW((folder / L"ustawienia.dat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                  nullptr));
    ASSERT_NE(held.get(), INVALID_HANDLE_VALUE);
    try {
        platform.replaceFile(L"ustawienia.dat", "\"new\"\r\n#FALSE#\r\n");
        ADD_FAILURE() << "replacing a file held without sharing succeeded";
    } catch (const SystemError& error) {
        EXPECT_NE(error.reason().find(folder / L"ustawienia.dat"), std::wstring::npos);
    }
    held.reset();
    EXPECT_EQ(ReadAll(folder / L"ustawienia.dat"), "\"old\"\r\n#TRUE#\r\n");
    EXPECT_EQ(FilesIn(folder.path()).size(), 1u);
}

TEST(Processes, AStartFailureCarriesTheSystemsReason) {
    TempFolder folder;
    Win32Platform platform(nullptr);
    WriteAll(folder / L"not a program.exe", "plain text");
    for (const std::wstring& path : {folder / L"missing.exe", folder / L"not a program.exe", folder.path()}) {
        try {
            platform.startProgram(path, SW_SHOWNORMAL);
            ADD_FAILURE() << "started " << std::string(path.begin(), path.end());
        } catch (const SystemError& error) {
            EXPECT_NE(error.reason().find(L"(kod "), std::wstring::npos);
        }
    }
    Handle none = platform.openProcess(PROCESS_QUERY_INFORMATION, false, 0x7FFFFFF0);
    std::int32_t code = 259;
    EXPECT_FALSE(platform.getExitCodeProcess(none, code));
    EXPECT_EQ(code, 259);
}

// A copy started by the race test: replaces the file in its current directory again and
// again, as copies ending together do; every replacement must get through.
int RunWriter(int writer) {
    Win32Platform platform(nullptr);
    try {
        for (int round = 0; round < 20; ++round) platform.replaceFile(L"ustawienia.dat", WriterContent(writer));
    } catch (const SystemError&) {
        return 1;
    }
    return 0;
}

}  // namespace
}  // namespace czuwajnik::win32

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--writer") return czuwajnik::win32::RunWriter(std::atoi(argv[2]));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
