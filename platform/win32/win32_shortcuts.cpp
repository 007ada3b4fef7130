// Shortcuts: the file a .lnk leads to.

#include "platform/win32/win32_platform.h"

#include <shlobj.h>

namespace czuwajnik::win32 {

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

}  // namespace czuwajnik::win32
