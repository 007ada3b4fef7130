// Processes: how a program is found and started with the caller's handles, opened, watched and listed.

#include "platform/win32/win32_platform.h"

#include <winternl.h>

#include <algorithm>
#include <string>
#include <vector>

namespace czuwajnik::win32 {
namespace {

// Ctrl+C and Ctrl+Break in a shared console end the program started there, not the utility, which
// then ends with that program's code.
BOOL WINAPI IgnoreBreaks(DWORD event) { return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT; }

// The caller's standard handles, handed on to a program started from the command line as a
// command prompt would: those it redirected (to a file, a pipe) as they are, the others to its
// console, which the program then shares. Only these three are inherited.
class CallersStreams {
public:
    // Where a handle is redirected, sets `startup` to hand on the three and returns true. Where none
    // is, the program shares the caller's console, if any, without being handed anything.
    bool HandOn(STARTUPINFOEXW& startup) {
        static const bool console =
            AttachConsole(ATTACH_PARENT_PROCESS) && SetConsoleCtrlHandler(IgnoreBreaks, TRUE);
        const auto redirected = [](HANDLE own) {
            DWORD mode = 0;
            return own != nullptr && own != INVALID_HANDLE_VALUE && !GetConsoleMode(own, &mode);
        };
        const auto ownRedirected = [&](DWORD stream) { return redirected(GetStdHandle(stream)); };
        if (std::none_of(std::begin(kStreams), std::end(kStreams), ownRedirected)) return false;
        SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
        for (int i = 0; i < 3; ++i) {
            HANDLE own = GetStdHandle(kStreams[i]), copy = nullptr;
            if (redirected(own))
                DuplicateHandle(GetCurrentProcess(), own, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS);
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
        if (listed_.empty() || !InitializeProcThreadAttributeList(list, 1, 0, &size)) return false;
        listInitialized_ = true;
        if (!UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, listed_.data(),
                                       listed_.size() * sizeof(HANDLE), nullptr, nullptr))
            return false;
        startup.StartupInfo.cb = sizeof startup;
        startup.StartupInfo.dwFlags |= STARTF_USESTDHANDLES;
        startup.StartupInfo.hStdInput = copies_[0].get();
        startup.StartupInfo.hStdOutput = copies_[1].get();
        startup.StartupInfo.hStdError = copies_[2].get();
        startup.lpAttributeList = list;
        return true;
    }
    ~CallersStreams() {
        if (listInitialized_)
            DeleteProcThreadAttributeList(reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_.data()));
    }

private:
    static constexpr DWORD kStreams[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    UniqueHandle copies_[3];
    std::vector<HANDLE> listed_;
    std::vector<char> list_;
    bool listInitialized_ = false;
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
    const bool handedOn = streams == Streams::Callers && callers.HandOn(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, handedOn,
                        handedOn ? EXTENDED_STARTUPINFO_PRESENT : 0, nullptr, nullptr, &startup.StartupInfo, &process))
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
    access |= SYNCHRONIZE;  // its end is learnt by waiting on it
    if (started_ == nullptr || pid != startedId_) return reinterpret_cast<Handle>(OpenProcess(access, inherit, pid));
    HANDLE copy = nullptr;
    for (const DWORD rights : {DWORD{access}, DWORD{PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE}})
        if (DuplicateHandle(GetCurrentProcess(), started_.get(), GetCurrentProcess(), &copy, rights, inherit, 0))
            break;
    return reinterpret_cast<Handle>(copy);
}

SystemError Win32Platform::lastError() { return LastError(); }

std::wstring Win32Platform::processPath(Handle process) {
    return GrowingText([&](wchar_t* buffer, DWORD size) {
        DWORD length = size;
        if (QueryFullProcessImageNameW(reinterpret_cast<HANDLE>(process), 0, buffer, &length)) return length;
        return GetLastError() == ERROR_INSUFFICIENT_BUFFER ? size : 0;
    });
}

// Ended is what the process itself says, not its code: a program may end with 259 (STILL_ACTIVE).
std::optional<std::int32_t> Win32Platform::exitCode(Handle process) {
    const auto handle = reinterpret_cast<HANDLE>(process);
    DWORD code = 0;
    if (WaitForSingleObject(handle, 0) != WAIT_OBJECT_0 || !GetExitCodeProcess(handle, &code)) return std::nullopt;
    return static_cast<std::int32_t>(code);
}

void Win32Platform::closeHandle(Handle handle) { CloseHandle(reinterpret_cast<HANDLE>(handle)); }

std::uint32_t Win32Platform::ownProcessId() { return GetCurrentProcessId(); }

// One read of the system's list of processes, which names each one's program file and session:
// no process is opened. The buffer is kept for the next read, and grown while the list outgrows it.
std::vector<ProcessEntry> Win32Platform::processesNamed(const std::vector<std::wstring>& names) {
    using QueryFn = NTSTATUS(NTAPI*)(SYSTEM_INFORMATION_CLASS, void*, ULONG, ULONG*);
    static const auto query = SystemFunction<QueryFn>(L"ntdll.dll", "NtQuerySystemInformation");
    constexpr auto kLengthMismatch = static_cast<NTSTATUS>(0xC0000004);
    NTSTATUS status = kLengthMismatch;
    for (ULONG needed = 0; query != nullptr && status == kLengthMismatch;) {
        processList_.resize(std::max<std::size_t>({processList_.size(), needed + 4096, 65536}));
        status = query(SystemProcessInformation, processList_.data(), static_cast<ULONG>(processList_.size()), &needed);
    }
    // Not "none runs", which would end the watch.
    if (status != 0) throw SystemError(L"Nie można odczytać listy procesów systemu.");
    DWORD ownSession = 0;
    const bool sessions = ProcessIdToSessionId(GetCurrentProcessId(), &ownSession);
    std::vector<ProcessEntry> found;
    for (std::size_t at = 0;;) {
        const auto& process = *reinterpret_cast<const SYSTEM_PROCESS_INFORMATION*>(processList_.data() + at);
        const std::wstring name(process.ImageName.Buffer, process.ImageName.Length / sizeof(wchar_t));
        const bool named = std::any_of(names.begin(), names.end(), [&](const std::wstring& wanted) {
            return CompareStringOrdinal(name.c_str(), -1, wanted.c_str(), -1, TRUE) == CSTR_EQUAL;
        });
        const auto pid = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(process.UniqueProcessId));
        if (named && (!sessions || process.SessionId == ownSession)) found.push_back({pid, name});
        if (process.NextEntryOffset == 0) return found;
        at += process.NextEntryOffset;
    }
}

}  // namespace czuwajnik::win32
