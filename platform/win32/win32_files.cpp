// Files and folders: the current and own folder, the settings file's read and its two saves, the ANSI code page.

#include "platform/win32/win32_platform.h"

#include <string>

namespace czuwajnik::win32 {
namespace {

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

}  // namespace

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

bool Win32Platform::sameFileName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

std::wstring Win32Platform::systemFolder() {
    const std::wstring folder =
        GrowingText([](wchar_t* buffer, DWORD size) { return GetSystemDirectoryW(buffer, size); });
    if (folder.empty()) throw LastError();
    return folder + L"\\";
}

// A file held by another for an instant (another copy saving, a virus scanner) is waited for, as
// a save waits.
std::optional<std::string> Win32Platform::readFile(const std::wstring& name, std::size_t maxBytes) {
    // No such file only where the system says so; a network or access failure is not one.
    const DWORD attributes = GetFileAttributesW(name.c_str());
    const DWORD absent = attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_SUCCESS;
    if (absent == ERROR_FILE_NOT_FOUND || absent == ERROR_PATH_NOT_FOUND ||
        (absent == ERROR_SUCCESS && (attributes & FILE_ATTRIBUTE_DIRECTORY)))
        return std::nullopt;
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
