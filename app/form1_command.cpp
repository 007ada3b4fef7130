// Started with arguments, the utility starts or watches the program they name as a command
// runner does, and ends with that program's exit code. It neither reads nor writes its settings.

#include <algorithm>
#include <cwctype>
#include <vector>

#include "app/form1.h"
#include "app/layout.h"

namespace czuwajnik {
namespace {

constexpr std::uint32_t kProcessQueryLimitedInformation = 0x1000;
constexpr std::uint32_t kErrorInvalidParameter = 87;
constexpr int kTicksPerSecond = 1000 / layout::IntervalOf(TimerId::Timer2);
constexpr int kTicksPerRecount = 60 * kTicksPerSecond;
constexpr std::uint64_t kQuietMs = 5000;  // by name, the watch ends once none has run this long

const std::wstring kUsage =
    L"Użycie:\r\n"
    L"czuwajnik.exe PROGRAM [ARGUMENTY]\r\n"
    L"    uruchamia PROGRAM z argumentami w bieżącym folderze i czuwa, dopóki działa;\r\n"
    L"czuwajnik.exe /pid N\r\n"
    L"    czuwa, dopóki działa uruchomiony już proces N;\r\n"
    L"czuwajnik.exe /name NAZWA [NAZWA ...]\r\n"
    L"    czeka na program o tej nazwie pliku (np. ffmpeg.exe) i czuwa, dopóki działa choć jedna\r\n"
    L"    jego kopia, także uruchomiona później; kończy się kodem 0, gdy przez 5 s nie działa żadna;\r\n"
    L"czuwajnik.exe /?\r\n"
    L"    pokazuje tę pomoc.\r\n"
    L"\r\n"
    L"Czuwajnik kończy się kodem wyjścia programu, a zamknięty wcześniej kodem 259. "
    L"Pliku ustawienia.dat wtedy nie wczytuje ani nie zapisuje.";

// The items of a list such as PATH: separated by semicolons, except within double quotes.
std::vector<std::wstring> ListItems(const std::wstring& list) {
    std::vector<std::wstring> items(1);
    bool quoted = false;
    for (const wchar_t c : list) {
        if (c == L'"') quoted = !quoted;
        else if (c == L';' && !quoted) items.emplace_back();
        else items.back() += c;
    }
    items.erase(std::remove(items.begin(), items.end(), L""), items.end());
    return items;
}

std::wstring Joined(const std::vector<std::wstring>& items) {
    std::wstring text;
    for (const std::wstring& item : items) text += (text.empty() ? L"" : L", ") + item;
    return text;
}

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
        case Command::Kind::WatchNamed: WatchNamed(command.names); break;
        case Command::Kind::Window: break;
    }
}

// In the caller's folder, with the arguments as the caller wrote them, and the caller's console
// or redirected handles.
void Form1::RunFromCommandLine(const std::wstring& sName, const std::wstring& sArguments) {
    sProgram = FindProgram(sName);
    try {
        RunProgram(sProgram, sArguments, true, Streams::Callers);
    } catch (const SystemError& error) {
        EndRefused(CannotStart(sProgram, error), error.code());
        return;
    }
    ShowWatching(layout::kLabelPrefix + sProgram);
}

void Form1::WatchFromCommandLine(std::uint32_t lProcessId) {
    if (lProcessId == platform_.ownProcessId()) {
        EndRefused(L"Proces " + std::to_wstring(lProcessId) + L" to sam Czuwajnik.", kErrorInvalidParameter);
        return;
    }
    const Handle hWatched = platform_.openProcess(kProcessQueryLimitedInformation, false, lProcessId);
    if (hWatched == 0) {
        const SystemError error = platform_.lastError();
        EndRefused(L"Nie można obserwować procesu " + std::to_wstring(lProcessId) + L":\r\n\r\n" + error.reason(),
                   error.code());
        return;
    }
    sProgram = platform_.processPath(hWatched);
    Watch(hWatched);
    ShowWatching(layout::kLabelPrefix + sProgram);
}

// Every process of those programs, also ones started later. Waits, without pulses, while none
// runs; watches while any does; ends with 0 once none has run for 5 s.
void Form1::WatchNamed(const std::vector<std::wstring>& names) {
    sNames = names;
    ShowWatching(L"Czekam na: " + Joined(names));
    platform_.setTimer(TimerId::Timer2, layout::IntervalOf(TimerId::Timer2), true);
    NamedEnded();
}

// Each second, the copies found that have ended are let go. The process list is read then only
// while none is known to run (before one runs, in the 5 s after the last, or while one could not
// be opened to be watched); else once a minute, to count the copies started meanwhile.
std::optional<std::int32_t> Form1::NamedEnded() {
    if (iTicks++ % kTicksPerSecond != 0) return std::nullopt;
    for (auto copy = mCopies.begin(); copy != mCopies.end();) {
        const bool ended = platform_.exitCode(copy->second.hProcess).has_value();  // never, unopened
        if (ended) platform_.closeHandle(copy->second.hProcess);
        copy = ended ? mCopies.erase(copy) : std::next(copy);
    }
    const bool blind =
        std::any_of(mCopies.begin(), mCopies.end(), [](const auto& copy) { return copy.second.hProcess == 0; });
    if (mCopies.empty() || blind || iTicks % kTicksPerRecount == 1) FindCopies();
    if (mCopies.empty()) {
        // The last copy ended before the check that found it gone.
        if (bWatching && !lQuietSince) lQuietSince = platform_.milliseconds();
        if (lQuietSince && platform_.milliseconds() - *lQuietSince >= kQuietMs) return 0;
        return std::nullopt;
    }
    lQuietSince.reset();
    if (!bWatching) BeginWatching();
    ShowCopies();
    return std::nullopt;
}

// One snapshot: the copies it lists are kept, or opened to be watched; the others have ended.
void Form1::FindCopies() {
    std::map<std::uint32_t, Copy> found;
    const std::uint32_t own = platform_.ownProcessId();
    for (const ProcessEntry& process : platform_.processesNamed(sNames)) {
        if (process.pid == own) continue;
        if (const auto known = mCopies.find(process.pid); known != mCopies.end()) found.insert(mCopies.extract(known));
        else found[process.pid] = {platform_.openProcess(kProcessQueryLimitedInformation, false, process.pid),
                                   process.name};
    }
    for (const auto& [pid, copy] : mCopies)
        if (copy.hProcess != 0) platform_.closeHandle(copy.hProcess);
    mCopies = std::move(found);
}

// The label names what runs, and how many copies.
void Form1::ShowCopies() {
    std::vector<std::wstring> running;
    for (const auto& [pid, copy] : mCopies)
        if (std::find(running.begin(), running.end(), copy.sName) == running.end()) running.push_back(copy.sName);
    const std::wstring shown = Joined(running) + L" (działa: " + std::to_wstring(mCopies.size()) + L")";
    if (shown != sProgram) platform_.setLabelText(layout::kLabelPrefix + (sProgram = shown));
}

// As the command prompt finds a program: where the name has a folder part, there; else in the
// current folder (unless the system says not to look there) and then along PATH. In each place,
// the name as given where it has an extension, then with each extension of PATHEXT. Not found,
// it stays as given, for the start to tell why.
std::wstring Form1::FindProgram(const std::wstring& sName) {
    std::vector<std::wstring> folders;
    const std::size_t folderPart = sName.find_last_of(L"\\/:");
    if (folderPart != std::wstring::npos || platform_.searchesCurrentFolder(sName)) folders.emplace_back();
    if (folderPart == std::wstring::npos)
        for (std::wstring folder : ListItems(platform_.environment(L"PATH")))
            folders.push_back(folder.back() == L'\\' ? folder : folder + L'\\');
    std::vector<std::wstring> names;
    if (sName.find(L'.', folderPart == std::wstring::npos ? 0 : folderPart) != std::wstring::npos)
        names.push_back(sName);
    const std::wstring extensions = platform_.environment(L"PATHEXT");
    // In lower case, as files are mostly named: the label shows "gra.exe" rather than "gra.EXE".
    for (std::wstring extension : ListItems(extensions.empty() ? L".COM;.EXE;.BAT;.CMD" : extensions)) {
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](wchar_t c) { return std::towlower(c); });
        names.push_back(sName + extension);
    }
    for (const std::wstring& folder : folders)
        for (const std::wstring& name : names)
            if (const std::wstring path = platform_.fullPath(folder + name); platform_.isFile(path)) return path;
    return platform_.fullPath(sName);
}

// As after Uruchom, but bound to what it watches: nothing else can be chosen or started.
void Form1::ShowWatching(const std::wstring& sLabel) {
    platform_.setLabelText(sLabel);
    platform_.disableChoosing();
    platform_.setMinimised(true);
}

void Form1::EndRefused(const std::wstring& sMessage, std::uint32_t lCode) {
    platform_.messageBox(sMessage, layout::kCaption, true);
    platform_.endProcess(lCode != 0 ? lCode : 1);  // a failure never ends as a success
}

}  // namespace czuwajnik
