// Processes: how a program is found and started with the caller's handles, opened, watched and listed.

#include "platform/win32/win32_platform.h"

#include <winternl.h>

#include <algorithm>
#include <string>
#include <vector>

namespace czuwajnik::win32 {
namespace {

// The caller's standard handles, handed on to a program started from the command line as a
// command prompt would: those it redirected (to a file, a pipe) as they are, the others to its
// console, which the program then shares. Only these three are inherited.
class CallersStreams {
public:
    // Where a handle is redirected, sets `startup` to hand on the three and returns the creation
    // flags that go with them. Where none is, the program shares the caller's console, if any,
    // without being handed anything, and 0 is returned.
    DWORD HandOn(STARTUPINFOEXW& startup) {
        // Read before attaching to the caller's console, which on Windows puts console handles in
        // place of all three, also of those the command prompt redirected without handing them
        // on. Which of them lead to that console is told once attached.
        HANDLE own[3];
        for (int i = 0; i < 3; ++i) own[i] = GetStdHandle(kStreams[i]);
        const auto file = [](HANDLE handle) {
            const DWORD type = GetFileType(handle);
            return type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE;
        };
        const bool allFiles = std::all_of(own, own + 3, file);
        attached_ = !allFiles && AttachConsole(ATTACH_PARENT_PROCESS);
        const bool console = GetConsoleCP() != 0;  // attached now, or the console twin's own
        const auto redirected = [](HANDLE handle) {
            DWORD mode = 0;
            return handle != nullptr && handle != INVALID_HANDLE_VALUE && !GetConsoleMode(handle, &mode);
        };
        if (std::none_of(own, own + 3, redirected)) return 0;
        SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
        for (int i = 0; i < 3; ++i) {
            HANDLE copy = nullptr;
            if (redirected(own[i]))
                DuplicateHandle(GetCurrentProcess(), own[i], GetCurrentProcess(), &copy, 0, TRUE,
                                DUPLICATE_SAME_ACCESS);
            else if (console)
                copy = CreateFileW(i == 0 ? L"CONIN$" : L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING, 0, nullptr);
            copies_[i].reset(copy == INVALID_HANDLE_VALUE ? nullptr : copy);
            // Windows 7's console handles are not the kernel's: they cannot be listed, and need not be.
            const auto value = reinterpret_cast<std::uintptr_t>(copies_[i].get());
            if (value != 0 && ((value & 3) != 3 || GetFileType(copies_[i].get()) != FILE_TYPE_CHAR))
                listed_.push_back(copies_[i].get());
        }
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        list_.resize(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_.data());
        if (listed_.empty() || !InitializeProcThreadAttributeList(list, 1, 0, &size)) return 0;
        listInitialized_ = true;
        if (!UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, listed_.data(),
                                       listed_.size() * sizeof(HANDLE), nullptr, nullptr))
            return 0;
        startup.StartupInfo.cb = sizeof startup;
        startup.StartupInfo.dwFlags |= STARTF_USESTDHANDLES;
        startup.StartupInfo.hStdInput = copies_[0].get();
        startup.StartupInfo.hStdOutput = copies_[1].get();
        startup.StartupInfo.hStdError = copies_[2].get();
        startup.lpAttributeList = list;
        // All three lead to files or pipes: a console program needs no console window of its own.
        return EXTENDED_STARTUPINFO_PRESENT | (allFiles ? CREATE_NO_WINDOW : 0);
    }
    // Once the program has started, a console attached for it is let go: closing it no longer ends
    // the utility unseen, and Ctrl+C there reaches the program alone. (The console twin keeps its
    // own console, and is told of Ctrl+C there: Form1 lets the program decide.)
    ~CallersStreams() {
        if (listInitialized_)
            DeleteProcThreadAttributeList(reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_.data()));
        for (UniqueHandle& copy : copies_) copy.reset();
        if (attached_) FreeConsole();
    }

private:
    static constexpr DWORD kStreams[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    UniqueHandle copies_[3];
    std::vector<HANDLE> listed_;
    std::vector<char> list_;
    bool listInitialized_ = false;
    bool attached_ = false;
};

}  // namespace

std::wstring Win32Platform::environment(const std::wstring& name) {
    return GrowingText(
        [&](wchar_t* buffer, DWORD size) { return GetEnvironmentVariableW(name.c_str(), buffer, size); });
}

bool Win32Platform::searchesCurrentFolder(const std::wstring& name) {
    return NeedCurrentDirectoryForExePathW(name.c_str()) != FALSE;
}

std::uint32_t Win32Platform::startProgram(const std::wstring& path, const std::wstring& arguments, int showCode,
                                          Streams streams) {
    // The file is named exactly; the program sees its own path as one quoted item.
    std::wstring commandLine = L"\"" + path + L"\"" + arguments;
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup.StartupInfo;
    startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
    startup.StartupInfo.wShowWindow = static_cast<WORD>(showCode);
    CallersStreams callers;
    const DWORD handedOn = streams == Streams::Callers ? callers.HandOn(startup) : 0;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, handedOn != 0, handedOn, nullptr, nullptr,
                        &startup.StartupInfo, &process))
        throw LastError();
    UniqueHandle threadHandle(process.hThread);
    started_.reset(process.hProcess);
    startedId_ = process.dwProcessId;
    return process.dwProcessId;
}

// The program this utility started is read through the handle its start gave: the system
// may refuse to open it again (a program guarded by its own protection), and once it has
// ended its id may be another process's.
Handle Win32Platform::openProcess(std::uint32_t access, bool inherit, std::uint32_t pid) {
    if (started_ == nullptr || pid != startedId_) {
        // Its end is learnt by waiting on it; a process that refuses that right (one guarded by
        // its own protection) is judged by its exit status alone.
        HANDLE process = OpenProcess(access | SYNCHRONIZE, inherit, pid);
        if (process == nullptr && GetLastError() == ERROR_ACCESS_DENIED) process = OpenProcess(access, inherit, pid);
        return reinterpret_cast<Handle>(process);
    }
    HANDLE copy = nullptr;
    for (const DWORD rights : {DWORD{access | SYNCHRONIZE}, DWORD{PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE}})
        if (DuplicateHandle(GetCurrentProcess(), started_.get(), GetCurrentProcess(), &copy, rights, inherit, 0))
            break;
    return reinterpret_cast<Handle>(copy);
}

SystemError Win32Platform::lastError() { return LastError(); }

SystemError Win32Platform::systemError(std::uint32_t code) { return SystemError(ErrorText(code), code); }

std::wstring Win32Platform::processPath(Handle process) {
    return GrowingText([&](wchar_t* buffer, DWORD size) {
        DWORD length = size;
        if (QueryFullProcessImageNameW(reinterpret_cast<HANDLE>(process), 0, buffer, &length)) return length;
        return GetLastError() == ERROR_INSUFFICIENT_BUFFER ? size : 0;
    });
}

std::optional<bool> Win32Platform::hasEnded(Handle process) {
    const DWORD wait = WaitForSingleObject(reinterpret_cast<HANDLE>(process), 0);
    if (wait == WAIT_FAILED) return std::nullopt;
    return wait == WAIT_OBJECT_0;
}

std::optional<std::int32_t> Win32Platform::exitCode(Handle process) {
    DWORD code = 0;
    if (!GetExitCodeProcess(reinterpret_cast<HANDLE>(process), &code)) return std::nullopt;
    return static_cast<std::int32_t>(code);
}

void Win32Platform::closeHandle(Handle handle) { CloseHandle(reinterpret_cast<HANDLE>(handle)); }

std::uint32_t Win32Platform::ownProcessId() { return GetCurrentProcessId(); }

// One read of the system's list of processes, which names each one's program file and session:
// no process is opened. The buffer is kept for the next read, and grown at least twofold while
// the list outgrows it, whatever size the system says it needs; a list that keeps outgrowing it
// is given up.
std::vector<ProcessEntry> Win32Platform::processesNamed(const std::vector<std::wstring>& names) {
    using QueryFn = NTSTATUS(NTAPI*)(SYSTEM_INFORMATION_CLASS, void*, ULONG, ULONG*);
    static const auto query = SystemFunction<QueryFn>(L"ntdll.dll", "NtQuerySystemInformation");
    constexpr auto kLengthMismatch = static_cast<NTSTATUS>(0xC0000004);
    constexpr int kTries = 8;
    NTSTATUS status = kLengthMismatch;
    ULONG needed = 0;
    for (int tries = 0; query != nullptr && status == kLengthMismatch && tries < kTries; ++tries) {
        if (tries > 0 || processList_.empty())
            processList_.resize(std::max<std::size_t>({2 * processList_.size(), needed + 4096, 65536}));
        status = query(SystemProcessInformation, processList_.data(), static_cast<ULONG>(processList_.size()), &needed);
    }
    if (status != 0) throw SystemError(L"Nie można odczytać listy procesów systemu.");
    DWORD ownSession = 0;
    const bool sessions = ProcessIdToSessionId(GetCurrentProcessId(), &ownSession);
    std::vector<ProcessEntry> found;
    for (std::size_t at = 0;;) {
        const auto& process = *reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(processList_.data() + at);
        const std::wstring name(process.ImageName.Buffer, process.ImageName.Length / sizeof(wchar_t));
        const bool named = std::any_of(names.begin(), names.end(),
                                       [&](const std::wstring& wanted) { return sameFileName(name, wanted); });
        const auto pid = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(process.UniqueProcessId));
        if (named && (!sessions || process.SessionId == ownSession)) found.push_back({pid, name});
        if (process.NextEntryOffset == 0) return found;
        at += process.NextEntryOffset;
    }
}

}  // namespace czuwajnik::win32
