// Started with arguments, the utility starts or watches the program they name as a command
// runner does, and ends with that program's exit code. It neither reads nor writes its settings.

#include <algorithm>

#include "app/form1.h"
#include "app/layout.h"

namespace czuwajnik {
namespace {

constexpr std::uint32_t kProcessQueryLimitedInformation = 0x1000;
constexpr std::uint32_t kErrorInvalidParameter = 87;

const std::wstring kUsage =
    L"Użycie:\r\n"
    L"czuwajnik.exe PROGRAM [ARGUMENTY]\r\n"
    L"    uruchamia PROGRAM z argumentami w bieżącym folderze i czuwa, dopóki działa;\r\n"
    L"czuwajnik.exe /pid N\r\n"
    L"    czuwa, dopóki działa uruchomiony już proces N;\r\n"
    L"czuwajnik.exe /?\r\n"
    L"    pokazuje tę pomoc.\r\n"
    L"\r\n"
    L"Czuwajnik kończy się kodem wyjścia programu, a zamknięty wcześniej kodem 259. "
    L"Pliku ustawienia.dat wtedy nie wczytuje ani nie zapisuje.";

}  // namespace

void Form1::RunCommand(const Command& command) {
    bCommandLine = true;
    lExitCode = kStillActive;  // until the watch reads how the program ended
    switch (command.kind) {
        case Command::Kind::Help:
            platform_.messageBox(kUsage, layout::kCaption, false);
            platform_.endProcess(0);
            break;
        case Command::Kind::Refuse: EndRefused(command.problem + L"\r\n\r\n" + kUsage, kErrorInvalidParameter); break;
        case Command::Kind::Run: RunFromCommandLine(command.program, command.arguments); break;
        case Command::Kind::Watch: WatchFromCommandLine(command.pid); break;
        case Command::Kind::Window: break;
    }
}

// In the caller's folder, with the arguments as the caller wrote them.
void Form1::RunFromCommandLine(const std::wstring& sName, const std::wstring& sArguments) {
    sProgram = FindProgram(sName);
    try {
        RunProgram(sProgram, sArguments, true);
    } catch (const SystemError& error) {
        EndRefused(CannotStart(sProgram, error), error.code());
        return;
    }
    ShowWatching();
}

void Form1::WatchFromCommandLine(std::uint32_t lProcessId) {
    const Handle hWatched = platform_.openProcess(kProcessQueryLimitedInformation, false, lProcessId);
    if (hWatched == 0) {
        const SystemError error = platform_.lastError();
        EndRefused(L"Nie można obserwować procesu " + std::to_wstring(lProcessId) + L":\r\n\r\n" + error.reason(),
                   error.code());
        return;
    }
    sProgram = platform_.processPath(hWatched);
    Watch(hWatched);
    ShowWatching();
}

// As the command prompt finds a program: the path as given; a bare name that names no file
// here is looked for in the current folder, then along PATH, with ".exe" added when it has no
// extension. Not found, it stays as given, for the start to tell why.
std::wstring Form1::FindProgram(const std::wstring& sName) {
    const std::wstring given = platform_.fullPath(sName);
    if (platform_.isFile(given) || sName.find_first_of(L"\\/:") != std::wstring::npos) return given;
    const std::wstring file = sName.find(L'.') == std::wstring::npos ? sName + L".exe" : sName;
    const std::wstring folders = platform_.currentDirectory() + L";" + platform_.environment(L"PATH") + L";";
    for (std::size_t start = 0, end; (end = folders.find(L';', start)) != std::wstring::npos; start = end + 1) {
        std::wstring folder = folders.substr(start, end - start);
        folder.erase(std::remove(folder.begin(), folder.end(), L'"'), folder.end());
        if (folder.empty()) continue;
        if (folder.back() != L'\\') folder += L'\\';
        if (platform_.isFile(folder + file)) return platform_.fullPath(folder + file);
    }
    return given;
}

// As after Uruchom: the program named, Uruchom off, the window minimised.
void Form1::ShowWatching() {
    platform_.setLabelText(layout::kLabelPrefix + sProgram);
    platform_.setRunEnabled(false);
    platform_.setMinimised(true);
}

void Form1::EndRefused(const std::wstring& sMessage, std::uint32_t lCode) {
    platform_.messageBox(sMessage, layout::kCaption, true);
    platform_.endProcess(lCode != 0 ? lCode : 1);  // a failure never ends as a success
}

}  // namespace czuwajnik
