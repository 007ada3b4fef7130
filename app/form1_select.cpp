// Program selection: the open-file dialog, and a file dropped onto the window.

#include "app/form1.h"
#include "app/layout.h"

namespace czuwajnik {
namespace {

constexpr std::int16_t kModeOpen = 1;
constexpr std::uint32_t kFileBufferChars = 255;
constexpr std::uint32_t kOfnHideReadOnly = 4, kOfnPathMustExist = 2048, kOfnFileMustExist = 4096;

std::wstring ProgramFilter() {
    const std::wstring nul(1, L'\0');
    return L"Programy (*.exe)" + nul + L"*.exe" + nul + L"Wszystkie pliki (*.*)" + nul + L"*.*";
}

}  // namespace

void Form1::Command2_Click() {
    if (bCommandLine) return;  // a command-line run stays bound to its program
    sProgram = ShowOpenDialog(*this, kModeOpen, L"Wybierz program.", L"", ProgramFilter(), sInitDir, L"*.*");
    platform_.setLabelText(layout::kLabelPrefix + sProgram);
}

void Form1::mnuPlikPrzegladaj_Click() { Command2_Click(); }

// A file dropped onto the window (the first, of several) is chosen as Browse would choose it: a
// shortcut by the file it leads to.
void Form1::Form_OLEDragDrop(const std::wstring& sFile) {
    if (bCommandLine) return;
    const bool shortcut = EndsWithName(sFile, L".lnk");
    const std::wstring chosen = shortcut ? platform_.shortcutTarget(sFile).value_or(L"") : sFile;
    if (!platform_.isFile(chosen)) {
        if (shortcut) platform_.messageBox(L"Skrót nie prowadzi do pliku:\r\n" + sFile, layout::kCaption, true);
        return;
    }
    sProgram = chosen;
    sInitDir = FilePath(chosen);
    platform_.setLabelText(layout::kLabelPrefix + sProgram);
}

std::wstring Form1::ShowOpenDialog(Form1& frmOwner, std::int16_t iMode, const std::wstring& sTitle,
                                   const std::wstring& sFileName, const std::wstring& sFilter,
                                   std::wstring& sInitDir, const std::wstring& sDefExt) {
    OpenFileRequest request;
    request.title = sTitle;
    // The dialog needs two NULs after the last pattern: this one and the terminator.
    request.filter = sFilter + L'\0';
    request.filterIndex = 1;
    request.file = sFileName.substr(0, kFileBufferChars);
    request.file.resize(kFileBufferChars, L'\0');
    request.maxFile = kFileBufferChars;
    request.maxFileTitle = kFileBufferChars;
    request.initialDir = sInitDir;
    request.defExt = sDefExt;

    bool ok = false;
    if (iMode == kModeOpen) {
        request.flags = kOfnHideReadOnly | kOfnPathMustExist | kOfnFileMustExist;
        ok = frmOwner.platform_.openFileDialog(request);
    }
    std::wstring chosen;
    if (ok) {
        const std::size_t nul = request.file.find(L'\0');
        if (nul != std::wstring::npos) chosen = request.file.substr(0, nul);
    }
    if (!chosen.empty()) sInitDir = FilePath(chosen);
    return chosen;
}

}  // namespace czuwajnik
