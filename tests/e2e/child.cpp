// The program the end-to-end tests let Czuwajnik start. It reports how it was started
// in "report-<pid>.txt" beside itself (UTF-8: working directory, then the command line),
// sleeps, appends "exit", and ends. "child.cfg" beside it holds "<sleep_ms> <exit_code>";
// it is read at start, since the launcher passes no arguments. The access-violation
// code as exit code makes it crash instead.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::wstring OwnFolder() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.rfind(L'\\') + 1);
}

std::string Utf8(const std::wstring& text) {
    std::string bytes(text.size() * 4, '\0');
    bytes.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                                     static_cast<int>(bytes.size()), nullptr, nullptr));
    return bytes;
}

void Append(const std::wstring& file, const std::string& text) {
    if (FILE* out = _wfopen(file.c_str(), L"ab")) {
        fwrite(text.data(), 1, text.size(), out);
        fclose(out);
    }
}

LONG WINAPI EndOnCrash(EXCEPTION_POINTERS*) { return EXCEPTION_EXECUTE_HANDLER; }

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const std::wstring folder = OwnFolder();
    unsigned sleepMs = 0;
    int exitCode = 0;
    if (FILE* cfg = _wfopen((folder + L"child.cfg").c_str(), L"r")) {
        if (fscanf(cfg, "%u %d", &sleepMs, &exitCode) != 2) sleepMs = 0, exitCode = 0;
        fclose(cfg);
    }
    wchar_t cwd[MAX_PATH];
    const DWORD cwdLength = GetCurrentDirectoryW(MAX_PATH, cwd);
    const std::wstring report = folder + L"report-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    Append(report, Utf8(std::wstring(cwd, cwdLength)) + "\n" + Utf8(GetCommandLineW()) + "\n");
    Sleep(sleepMs);
    if (static_cast<DWORD>(exitCode) == EXCEPTION_ACCESS_VIOLATION) {
        // Asked to crash: the unhandled exception ends the process with its code, and no
        // debugger or error box is brought up for it.
        SetUnhandledExceptionFilter(EndOnCrash);
        *static_cast<volatile int*>(nullptr) = 0;
    }
    Append(report, "exit\n");
    return exitCode;
}
