// What the utility costs while it watches a program. In a fresh temp folder it starts
// czuwajnik.exe with auto-run of sleeper.exe, then watch_floor.exe on that same sleeper twice,
// without a window and with one like the utility's, waits, and sets the three watchers' CPU
// time and peak working set side by side. Then it ends the sleeper and checks that every
// watcher ends and the utility ends cleanly. Last, the watch by name among 100 other processes, and
// a watch on mains power only.
//
//   watch_bench.exe <czuwajnik.exe> [seconds, default 60]
// sleeper.exe and watch_floor.exe are taken from beside this program.
#include "handle.h"  // windows.h first: the two below build on it

#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

struct Usage {
    double cpuMs = 0;  // kernel + user
    double peakKb = 0;
};
double Ms(FILETIME kernel, FILETIME user) {
    const auto ticks = [](FILETIME t) { return (ULONGLONG{t.dwHighDateTime} << 32) | t.dwLowDateTime; };
    return (ticks(kernel) + ticks(user)) / 1e4;
}

// Wine before 9.0 answers GetProcessTimes for another process with the caller's own times;
// its thread times are the real ones, so there the process's live threads are added up.
const bool kUnderWine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;

double CpuMs(HANDLE process) {
    FILETIME created, ended, kernel, user;
    if (!kUnderWine) return GetProcessTimes(process, &created, &ended, &kernel, &user) ? Ms(kernel, user) : 0;
    double total = 0;
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot.get(), &entry); more; more = Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID != GetProcessId(process)) continue;
        UniqueHandle thread(OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID));
        if (thread && GetThreadTimes(thread.get(), &created, &ended, &kernel, &user)) total += Ms(kernel, user);
    }
    return total;
}

Usage Measure(HANDLE process) {
    Usage usage;
    usage.cpuMs = CpuMs(process);
    PROCESS_MEMORY_COUNTERS memory{};
    if (GetProcessMemoryInfo(process, &memory, sizeof memory)) usage.peakKb = memory.PeakWorkingSetSize / 1024.0;
    return usage;
}

std::wstring FolderOf(const std::wstring& file) { return file.substr(0, file.rfind(L'\\') + 1); }

// A folder of its own under %TEMP%, removed with everything in it.
struct TempFolder {
    std::wstring path;
    TempFolder() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        path = temp + (L"czuwajnik-bench-" + std::to_wstring(GetCurrentProcessId()) + L"\\");
        CreateDirectoryW(path.c_str(), nullptr);
    }
    ~TempFolder() {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((path + L"*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do DeleteFileW((path + found.cFileName).c_str());
            while (FindNextFileW(search, &found));
            FindClose(search);
        }
        RemoveDirectoryW(path.c_str());
    }
};

UniqueHandle Start(const std::wstring& exe, const std::wstring& arguments, const std::wstring& folder, DWORD& pid) {
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &started))
        return nullptr;
    CloseHandle(started.hThread);
    pid = started.dwProcessId;
    return UniqueHandle(started.hProcess);
}

// The pid of a process named `name` that `parent` started, looked for during 5 s; 0 if none.
DWORD FindChild(DWORD parent, const wchar_t* name) {
    for (int attempt = 0; attempt < 100; ++attempt, Sleep(50)) {
        UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry))
            if (entry.th32ParentProcessID == parent && _wcsicmp(entry.szExeFile, name) == 0) return entry.th32ProcessID;
    }
    return 0;
}

// The utility's figure, then each floor's with the utility's ratio to it.
void Row(const char* what, double utility, double floor, double windowedFloor) {
    std::printf("%-28s %10.1f", what, utility);
    for (double value : {floor, windowedFloor}) {
        if (value > 0) std::printf(" %10.1f %6.2fx", value, utility / value);
        else std::printf(" %10.1f %7s", value, "-");
    }
    std::printf("\n");
}

// czuwajnik.exe with `arguments` beside czuwajnik.exe sleeper.exe, the command line's watch of a
// sleeper by its handle, each as a share of one core once past start-up. Then the sleepers end,
// which must end both: the one by handle with the sleeper's code (5), the other with `code`.
struct Beside {
    double share = 0, handleShare = 0;
    bool ended = false;
};
Beside MeasureBeside(const TempFolder& temp, const std::wstring& utilityExe, DWORD seconds,
                     const std::wstring& arguments, DWORD code) {
    DWORD byHandlePid = 0, besidePid = 0;
    const UniqueHandle byHandle = Start(utilityExe, L"sleeper.exe", temp.path, byHandlePid);
    const UniqueHandle beside = Start(utilityExe, arguments, temp.path, besidePid);
    std::vector<UniqueHandle> sleepers;
    for (const DWORD parent : {byHandlePid, besidePid})
        if (const DWORD pid = FindChild(parent, L"sleeper.exe"))
            sleepers.emplace_back(OpenProcess(PROCESS_TERMINATE, FALSE, pid));
    Sleep(2000);  // past start-up and the first snapshots
    const Usage handleStart = Measure(byHandle.get()), start = Measure(beside.get());
    Sleep(seconds * 1000);
    Beside measured;
    measured.handleShare = (Measure(byHandle.get()).cpuMs - handleStart.cpuMs) / (seconds * 10.0);
    measured.share = (Measure(beside.get()).cpuMs - start.cpuMs) / (seconds * 10.0);
    std::printf("%-28s %10ls %10s %7s\n", "", arguments.substr(0, arguments.find(L' ')).c_str(), "PROGRAM", "ratio");
    std::printf("%-28s %10.3f %10.3f %6.2fx\n", "CPU % of one core, steady", measured.share, measured.handleShare,
                measured.handleShare > 0 ? measured.share / measured.handleShare : 0.0);
    for (const UniqueHandle& sleeper : sleepers) TerminateProcess(sleeper.get(), 5);
    DWORD handleCode = STILL_ACTIVE, besideCode = STILL_ACTIVE;
    measured.ended = WaitForSingleObject(byHandle.get(), 10000) == WAIT_OBJECT_0 &&
                     WaitForSingleObject(beside.get(), 15000) == WAIT_OBJECT_0 &&
                     GetExitCodeProcess(byHandle.get(), &handleCode) && GetExitCodeProcess(beside.get(), &besideCode) &&
                     handleCode == 5 && besideCode == code && !sleepers.empty();
    for (const UniqueHandle* watcher : {&byHandle, &beside})
        if (WaitForSingleObject(watcher->get(), 0) == WAIT_TIMEOUT) TerminateProcess(watcher->get(), 1);
    return measured;
}

// Watching by name among 100 other processes must stay under 0.1 % of a core, and end 5 s after
// the sleeper with 0.
bool MeasureByName(const TempFolder& temp, const std::wstring& utilityExe, DWORD seconds) {
    const std::wstring otherExe = temp.path + L"other.exe";
    CopyFileW((temp.path + L"sleeper.exe").c_str(), otherExe.c_str(), FALSE);
    std::vector<UniqueHandle> others;
    DWORD pid = 0;
    for (int i = 0; i < 100; ++i) others.push_back(Start(otherExe, L"", temp.path, pid));
    std::printf("100 other processes:\n");
    const Beside byName = MeasureBeside(temp, utilityExe, seconds, L"/name sleeper.exe", 0);
    for (const UniqueHandle& other : others) TerminateProcess(other.get(), 0);
    const bool ok = byName.ended && byName.share < 0.1;
    std::printf("%s  by name under 0.1 %% of a core; both ended with the sleeper\n", ok ? "PASS" : "FAIL");
    return ok;
}

// Reading the power source each second costs nothing measurable: on mains, a watch with /ac costs
// at most 5 % more than the same watch without it, give or take one of the host's scheduler ticks
// (10 ms over the run), in which Wine counts CPU time.
bool MeasureMainsOnly(const TempFolder& temp, const std::wstring& utilityExe, DWORD seconds) {
    const Beside mainsOnly = MeasureBeside(temp, utilityExe, seconds, L"/ac sleeper.exe", 5);
    const double tick = 10.0 / (seconds * 10.0);
    const bool ok = mainsOnly.ended && mainsOnly.share <= 1.05 * mainsOnly.handleShare + tick;
    std::printf("%s  /ac within 5 %% of the same watch without it; both ended with the sleeper's code\n",
                ok ? "PASS" : "FAIL");
    return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::printf("usage: watch_bench.exe <czuwajnik.exe> [seconds]\n");
        return 2;
    }
    const DWORD seconds = argc > 2 ? wcstoul(argv[2], nullptr, 10) : 60;
    wchar_t self[MAX_PATH];
    const std::wstring here = FolderOf(std::wstring(self, GetModuleFileNameW(nullptr, self, MAX_PATH)));
    const TempFolder temp;
    const std::wstring utilityExe = temp.path + L"czuwajnik.exe", sleeperExe = temp.path + L"sleeper.exe";
    if (!CopyFileW(argv[1], utilityExe.c_str(), FALSE) ||
        !CopyFileW((here + L"sleeper.exe").c_str(), sleeperExe.c_str(), FALSE)) {
        std::printf("cannot copy the programs into %ls\n", temp.path.c_str());
        return 1;
    }
    // The settings, in the ANSI code page: the sleeper's path, auto-run ticked.
    char path[MAX_PATH * 2];
    const int length = WideCharToMultiByte(CP_ACP, 0, sleeperExe.c_str(), -1, path, sizeof path, nullptr, nullptr);
    const std::string settings = "\"" + std::string(path, length > 0 ? length - 1 : 0) + "\"\r\n#TRUE#\r\n";
    UniqueHandle file(CreateFileW((temp.path + L"ustawienia.dat").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  0, nullptr));
    DWORD written = 0;
    WriteFile(file.get(), settings.data(), static_cast<DWORD>(settings.size()), &written, nullptr);
    file.reset();

    DWORD utilityPid = 0, floorPid = 0, windowedPid = 0;
    const UniqueHandle utility = Start(utilityExe, L"", temp.path, utilityPid);
    const DWORD sleeperPid = utility ? FindChild(utilityPid, L"sleeper.exe") : 0;
    const UniqueHandle sleeper(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, sleeperPid));
    const std::wstring floorExe = here + L"watch_floor.exe", watched = std::to_wstring(sleeperPid);
    const UniqueHandle floor = sleeper ? Start(floorExe, watched, temp.path, floorPid) : nullptr;
    const UniqueHandle windowed = floor ? Start(floorExe, watched + L" window", temp.path, windowedPid) : nullptr;
    if (!windowed) {
        std::printf("could not start the utility, find its sleeper or start the floors\n");
        for (const UniqueHandle* started : {&utility, &sleeper, &floor})
            if (*started) TerminateProcess(started->get(), 1);
        return 1;
    }
    std::printf("watching for %lu s: utility pid %lu, floor pids %lu and %lu (with a window), sleeper pid %lu; "
                "CPU from %s\n",
                seconds, utilityPid, floorPid, windowedPid, sleeperPid,
                kUnderWine ? "thread times (Wine)" : "process times");
    std::fflush(stdout);

    // All are past their start-up after a second; the later sample less this one is steady watching.
    Sleep(1000);
    const Usage utilityStart = Measure(utility.get()), floorStart = Measure(floor.get()),
                windowedStart = Measure(windowed.get());
    Sleep(seconds * 1000);
    const Usage utilityEnd = Measure(utility.get()), floorEnd = Measure(floor.get()),
                windowedEnd = Measure(windowed.get());

    std::printf("%-28s %10s %10s %7s %10s %7s\n", "", "utility", "floor", "ratio", "+window", "ratio");
    Row("CPU ms, whole life", utilityEnd.cpuMs, floorEnd.cpuMs, windowedEnd.cpuMs);
    Row("CPU ms, start-up (1st s)", utilityStart.cpuMs, floorStart.cpuMs, windowedStart.cpuMs);
    const auto steady = [](const Usage& start, const Usage& end) { return end.cpuMs - start.cpuMs; };
    Row("CPU ms, steady watching", steady(utilityStart, utilityEnd), steady(floorStart, floorEnd),
        steady(windowedStart, windowedEnd));
    const double ticks = seconds * 5.0;
    Row("CPU us per 200 ms tick", steady(utilityStart, utilityEnd) * 1000 / ticks,
        steady(floorStart, floorEnd) * 1000 / ticks, steady(windowedStart, windowedEnd) * 1000 / ticks);
    Row("peak working set, KB", utilityEnd.peakKb, floorEnd.peakKb, windowedEnd.peakKb);
    if (kUnderWine) std::printf("(CPU comes in the host's scheduler ticks; wineserver's share is in no column)\n");

    // Ending the sleeper ends every watcher: the utility saves its settings and exits with 0.
    TerminateProcess(sleeper.get(), 0);
    const bool utilityEnded = WaitForSingleObject(utility.get(), 10000) == WAIT_OBJECT_0;
    const bool floorsEnded = WaitForSingleObject(floor.get(), 10000) == WAIT_OBJECT_0 &&
                             WaitForSingleObject(windowed.get(), 10000) == WAIT_OBJECT_0;
    DWORD exitCode = STILL_ACTIVE;
    GetExitCodeProcess(utility.get(), &exitCode);
    const bool utilityOk = utilityEnded && exitCode == 0;
    std::printf("%s  the utility ended with 0 once the sleeper ended\n", utilityOk ? "PASS" : "FAIL");
    std::printf("%s  both watch_floor copies ended once the sleeper ended\n", floorsEnded ? "PASS" : "FAIL");
    for (const UniqueHandle* watcher : {&utility, &floor, &windowed})
        if (WaitForSingleObject(watcher->get(), 0) == WAIT_TIMEOUT) TerminateProcess(watcher->get(), 1);
    const bool byNameOk = MeasureByName(temp, utilityExe, seconds);
    const bool mainsOnlyOk = MeasureMainsOnly(temp, utilityExe, seconds);
    return utilityOk && floorsEnded && byNameOk && mainsOnlyOk ? 0 : 1;
}
