// Directories, processes, key injection, the clock, files and the ANSI code page.

#include "platform/win32/win32_platform.h"

#include <shlobj.h>
#include <winternl.h>

#include <algorithm>
#include <string>
#include <vector>

namespace czuwajnik::win32 {
namespace {

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

std::wstring FullPath(const std::wstring& name) {
    const std::wstring full = GrowingText(
        [&](wchar_t* buffer, DWORD size) { return GetFullPathNameW(name.c_str(), size, buffer, nullptr); });
    return full.empty() ? name : full;
}

// `action` is what could not be done, as in "Nie można zapisać pliku".
[[noreturn]] void ThrowFileError(const wchar_t* action, const std::wstring& name, DWORD code) {
    throw SystemError(L"Nie można " + std::wstring(action) + L" pliku " + FullPath(name) + L":\r\n" + ErrorText(code),
                      code);
}

constexpr int kRetries = 40;
constexpr DWORD kRetryMs = 25;

UINT AnsiCodePage() { return GetACP(); }

// Runs `attempt` again while the file is held by another for an instant (another copy saving at
// this moment, a virus scanner); a hold of more than about a second is given up. Returns the
// system's error code, or ERROR_SUCCESS.
template <typename Attempt>
DWORD WaitingOutBriefHolds(Attempt attempt) {
    DWORD error = attempt();
    for (int retry = 0; retry < kRetries && (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION);
         ++retry) {
        Sleep(kRetryMs);
        error = attempt();
    }
    return error;
}

// Writes the file from its start and cuts it there, creating it if need be, with others
// allowed `share`. Returns the system's error code, or ERROR_SUCCESS once the bytes are on disk.
DWORD WriteWholeFile(const std::wstring& path, const std::string& bytes, DWORD share) {
    UniqueHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, share, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return GetLastError();
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        !SetEndOfFile(file.get()) || !FlushFileBuffers(file.get()))
        return GetLastError();
    return written == bytes.size() ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

// Writes the bytes in full to a fresh file beside `target`, then moves it over the target in
// one step. Returns the system's error code, or ERROR_SUCCESS; no temporary file is left.
DWORD ReplaceAtOnce(const std::wstring& target, const std::string& bytes) {
    std::wstring temp(MAX_PATH, L'\0');
    if (GetTempFileNameW(target.substr(0, target.rfind(L'\\') + 1).c_str(), L"ust", 0, temp.data()) == 0)
        return GetLastError();
    temp.resize(temp.find(L'\0'));
    DWORD error = WriteWholeFile(temp, bytes, 0);
    if (error == ERROR_SUCCESS)
        error = WaitingOutBriefHolds([&] {
            return MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
                       ? ERROR_SUCCESS
                       : GetLastError();
        });
    if (error != ERROR_SUCCESS) DeleteFileW(temp.c_str());
    return error;
}

// Writes the file where it is. Readers, and a program that lets others write the file, may hold
// it meanwhile; another writer (a second copy saving in place at this moment) is kept out and
// waited for, so two saves never mix.
DWORD WriteInPlace(const std::wstring& target, const std::string& bytes) {
    return WaitingOutBriefHolds([&] { return WriteWholeFile(target, bytes, FILE_SHARE_READ); });
}

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

std::wstring ErrorText(DWORD code) {
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

SystemError LastError() {
    const DWORD code = GetLastError();
    return SystemError(ErrorText(code), code);
}

std::wstring Win32Platform::currentDirectory() {
    return GrowingText([](wchar_t* buffer, DWORD size) { return GetCurrentDirectoryW(size, buffer); });
}

void Win32Platform::setCurrentDirectory(const std::wstring& folder) {
    if (!SetCurrentDirectoryW(folder.c_str()))
        throw SystemError(L"Nie można przejść do folderu " + folder + L":\r\n" + LastError().reason());
}

std::wstring Win32Platform::ownFolder() {
    const std::wstring exe = GrowingText([](wchar_t* buffer, DWORD size) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer, size);
        return length == size ? size : length;  // a cut name fills the buffer exactly
    });
    if (exe.empty()) throw LastError();
    return exe.substr(0, exe.rfind(L'\\') + 1);
}

std::wstring Win32Platform::fullPath(const std::wstring& name) { return FullPath(name); }

bool Win32Platform::isFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring Win32Platform::environment(const std::wstring& name) {
    return GrowingText(
        [&](wchar_t* buffer, DWORD size) { return GetEnvironmentVariableW(name.c_str(), buffer, size); });
}

bool Win32Platform::searchesCurrentFolder(const std::wstring& name) {
    return NeedCurrentDirectoryForExePathW(name.c_str()) != FALSE;
}

// Read through the shell's link object, as the open-file dialog reads one; COM's library is loaded
// only when a shortcut is dropped.
std::optional<std::wstring> Win32Platform::shortcutTarget(const std::wstring& shortcut) {
    using InitializeFn = HRESULT(WINAPI*)(void*, DWORD);
    using CreateFn = HRESULT(WINAPI*)(REFCLSID, IUnknown*, DWORD, REFIID, void**);
    using UninitializeFn = void(WINAPI*)();
    static const auto initialize = SystemFunction<InitializeFn>(L"ole32.dll", "CoInitializeEx");
    static const auto create = SystemFunction<CreateFn>(L"ole32.dll", "CoCreateInstance");
    static const auto uninitialize = SystemFunction<UninitializeFn>(L"ole32.dll", "CoUninitialize");
    if (initialize == nullptr || create == nullptr || uninitialize == nullptr) return std::nullopt;
    const HRESULT com = initialize(nullptr, COINIT_APARTMENTTHREADED);
    std::optional<std::wstring> target;
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(create(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                         reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(shortcut.c_str(), STGM_READ))) {
        std::wstring path(MAX_PATH, L'\0');
        if (link->GetPath(path.data(), MAX_PATH, nullptr, 0) == S_OK) target = path.substr(0, path.find(L'\0'));
    }
    if (file != nullptr) file->Release();
    if (link != nullptr) link->Release();
    if (SUCCEEDED(com)) uninitialize();
    return target;
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

void Win32Platform::keepSystemAwake(bool awake) {
    SetThreadExecutionState(awake ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS);
}

void Win32Platform::keybdEvent(std::uint8_t vk, std::uint8_t scan, std::uint32_t flags, std::uintptr_t extra) {
    keybd_event(vk, scan, flags, extra);
}

float Win32Platform::timeOfDay() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return static_cast<float>(now.wHour * 3600 + now.wMinute * 60 + now.wSecond) +
           static_cast<float>(now.wMilliseconds) / 1000.0f;
}

// A file held by another for an instant (another copy saving, a virus scanner) is waited for, as
// a save waits.
std::optional<std::string> Win32Platform::readFile(const std::wstring& name, std::size_t maxBytes) {
    if (GetFileAttributesW(name.c_str()) == INVALID_FILE_ATTRIBUTES) return std::nullopt;  // no such file
    UniqueHandle file;
    const DWORD error = WaitingOutBriefHolds([&] {
        file.reset(CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        return file.get() == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    });
    if (error != ERROR_SUCCESS) ThrowFileError(L"odczytać", name, error);
    std::string bytes(maxBytes + 1, '\0');
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        DWORD got = 0;
        if (!ReadFile(file.get(), bytes.data() + filled, static_cast<DWORD>(bytes.size() - filled), &got, nullptr))
            ThrowFileError(L"odczytać", name, GetLastError());
        if (got == 0) break;
        filled += got;
    }
    bytes.resize(filled);
    return bytes;
}

void Win32Platform::replaceFile(const std::wstring& name, const std::string& bytes) {
    const std::wstring target = FullPath(name);
    if (ReplaceAtOnce(target, bytes) == ERROR_SUCCESS) return;
    // Where no new file may be made beside it (a folder only an administrator writes to, the
    // file itself writable) or the file is held by a program that lets others write it but not
    // rename it, a plain write in place still saves.
    const DWORD error = WriteInPlace(target, bytes);
    if (error != ERROR_SUCCESS) ThrowFileError(L"zapisać", name, error);
}

std::optional<std::string> Win32Platform::toAnsi(const std::wstring& text) {
    if (text.empty()) return std::string();
    const UINT codePage = AnsiCodePage();
    // UTF-8 holds every character; the other code pages must not fall back to look-alikes or '?'.
    const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultPlace = codePage == CP_UTF8 ? nullptr : &usedDefault;
    const int length = WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, usedDefaultPlace);
    if (length == 0) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()), bytes.data(), length, nullptr,
                        usedDefaultPlace);
    if (usedDefault) return std::nullopt;
    return bytes;
}

std::wstring Win32Platform::fromAnsi(const std::string& bytes) {
    if (bytes.empty()) return {};
    const UINT codePage = AnsiCodePage();
    const int length = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), length);
    return text;
}

std::optional<std::wstring> Win32Platform::shortPath(const std::wstring& path) {
    const std::wstring shortForm = GrowingText(
        [&](wchar_t* buffer, DWORD size) { return GetShortPathNameW(path.c_str(), buffer, size); });
    if (shortForm.empty()) return std::nullopt;
    return shortForm;
}

}  // namespace czuwajnik::win32
