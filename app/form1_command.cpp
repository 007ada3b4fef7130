// The command runner: started with arguments, the utility starts the program they name, found as
// the command prompt finds it, or watches a running process or every process of some programs, and
// ends with the job's exit code; or it keeps the computer awake for a while (form1_unattended.cpp).
// It neither reads nor writes its settings.

#include <algorithm>
#include <cwctype>
#include <vector>

#include "app/form1.h"
#include "app/layout.h"

namespace czuwajnik {
namespace {

constexpr std::uint32_t kProcessQueryLimitedInformation = 0x1000;
constexpr std::uint32_t kErrorFileNotFound = 2, kErrorInvalidParameter = 87;
constexpr unsigned kTicksPerRecount = 60 * 1000 / layout::IntervalOf(TimerId::Timer2);  // a minute
constexpr std::uint64_t kQuietMs = 5000;  // by name, the watch ends once none has run this long
constexpr unsigned kListFailuresToEnd = 10;  // reads of the process list failing in a row, a second apart

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

// Why a script is not started: cmd would read `c` in its path or its arguments otherwise than as text.
std::wstring ScriptRefused(const std::wstring& script, wchar_t c) {
    const std::wstring shown = c == L'\r' || c == L'\n' ? L"końca wiersza" : L"\u201E" + std::wstring(1, c) + L"\u201D";
    return L"Nie uruchomiono skryptu:\r\n" + script + L"\r\n\r\nJego ścieżka lub argumenty zawierają znak " + shown +
           L", który wiersz poleceń odczytałby jako polecenie albo zmienną, a nie jako tekst.";
}

}  // namespace

void Form1::RunCommand(const Command& command) {
    bCommandLine = true;
    lExitCode = kStillActive;  // until the watch reads how the program ended
    iThen = command.then;
    bSystemOnly = command.system;
    bMainsOnly = command.mainsOnly;
    SetLimit(command);
    switch (command.kind) {
        case Command::Kind::Help:
            platform_.messageBox(Usage(), layout::kCaption, false);
            platform_.endProcess(0);
            break;
        case Command::Kind::Refuse: EndRefused(command.problem + L"\r\n\r\n" + Usage(), kErrorInvalidParameter); break;
        case Command::Kind::Run: RunFromCommandLine(command.program, command.arguments); break;
        case Command::Kind::Watch: WatchFromCommandLine(command.pid); break;
        case Command::Kind::WatchNamed: WatchNamed(command.names); break;
        case Command::Kind::KeepAwake: KeepAwakeUntilLimit(command); break;
        case Command::Kind::Window: break;
    }
}

// In the caller's folder, with the arguments as the caller wrote them, and the caller's console
// or redirected handles. A script goes to cmd as "SCRIPT" ARGUMENTS, and cmd would run what follows
// a & or a | outside quotes and put variables in place of %...%, in the path too: such a script is
// refused, not started.
void Form1::RunFromCommandLine(const std::wstring& sName, const std::wstring& sArguments) {
    const std::optional<std::wstring> sFound = FindProgram(sName);
    if (!sFound)
        return EndRefused(CannotStart(platform_.fullPath(sName), platform_.systemError(kErrorFileNotFound)),
                          kErrorFileNotFound);
    sProgram = *sFound;
    if (IsScript(sProgram))
        if (const std::optional<wchar_t> command = CommandCharacter(L"\"" + sProgram + L"\"" + sArguments))
            return EndRefused(ScriptRefused(sProgram, *command), kErrorInvalidParameter);
    try {
        RunProgram(sProgram, sArguments, true, Streams::Callers);
    } catch (const SystemError& error) {
        EndRefused(CannotStart(sProgram, error), error.code());
        return;
    }
    bOwnJob = true;
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
// runs; watches while any does; ends with 0 once none has run for 5 s. A name without an extension
// is taken with ".exe"; one with another extension than ".exe" or ".com" (python3.12) both as it is
// and with ".exe".
void Form1::WatchNamed(const std::vector<std::wstring>& names) {
    for (const std::wstring& name : names) {
        if (name.find(L'.') != std::wstring::npos) sNames.push_back(name);
        if (!EndsWithName(name, L".exe") && !EndsWithName(name, L".com")) sNames.push_back(name + L".exe");
    }
    ShowWatching(L"Czekam na: " + Joined(sNames));
    platform_.setTimer(TimerId::Timer2, layout::IntervalOf(TimerId::Timer2), true);
    NamedEnded();
}

// Each second, the copies found that have ended are let go. The process list is read then only
// while none is known to run (before one runs, in the 5 s after the last, or while one could not
// be opened to be watched); else once a minute, to count the copies started meanwhile.
std::optional<std::int32_t> Form1::NamedEnded() {
    for (auto copy = mCopies.begin(); copy != mCopies.end();) {
        const bool ended = EndOf(copy->second.hProcess).has_value();  // never, unopened
        if (ended) platform_.closeHandle(copy->second.hProcess);
        copy = ended ? mCopies.erase(copy) : std::next(copy);
    }
    const bool blind =
        std::any_of(mCopies.begin(), mCopies.end(), [](const auto& copy) { return copy.second.hProcess == 0; });
    if (mCopies.empty() || blind || iTicks % kTicksPerRecount == 0) FindCopies();
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
// A snapshot that cannot be read changes nothing this second. While a copy is watched through its
// handle, the list only counts the others; else ten failed reads in a row end the watch.
void Form1::FindCopies() {
    std::vector<ProcessEntry> processes;
    try {
        processes = platform_.processesNamed(sNames);
        iListFailures = 0;
    } catch (const SystemError& error) {
        const bool watched =
            std::any_of(mCopies.begin(), mCopies.end(), [](const auto& copy) { return copy.second.hProcess != 0; });
        if (watched || ++iListFailures < kListFailuresToEnd) return;
        StopWatching();
        return EndRefused(error.reason(), error.code());
    }
    std::map<std::uint32_t, Copy> found;
    const std::uint32_t own = platform_.ownProcessId();
    for (const ProcessEntry& process : processes) {
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
    if (shown != sProgram) ShowLabel(layout::kLabelPrefix + (sProgram = shown));
}

// The label's text, and where /ac lets the computer sleep on battery, why nothing is kept awake.
void Form1::ShowLabel(const std::wstring& sText) {
    sLabel = sText;
    platform_.setLabelText(sText + (bOnBattery ? L" (na baterii: nie czuwam)" : L""));
}

// As the command prompt finds a program: where the name has a folder part, there; else in the
// current folder (unless the system says not to look there) and then along PATH. In each place,
// the name as given where it has an extension, then with each extension of PATHEXT. A file that
// is none of these (one without an extension) is not a program the command prompt runs.
std::optional<std::wstring> Form1::FindProgram(const std::wstring& sName) {
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
    return std::nullopt;
}

// As after Uruchom, but bound to what it watches: nothing else can be chosen or started.
void Form1::ShowWatching(const std::wstring& sText) {
    ShowLabel(sText);
    platform_.disableChoosing();
    platform_.setMinimised(true);
}

// A program started from the command line gets Ctrl+C too, and decides: it may end, which ends the
// run. With no job of its own (a limit alone, /pid, /name), Czuwajnik ends as if closed. During the
// countdown, it cancels it.
void Form1::Form_Interrupt() {
    if (lCountdownSince) return cmdAnuluj_Click();
    if (!bOwnJob) Form_Unload();
}

// The box's loop still delivers the watch's ticks: none may run while it shows.
void Form1::EndRefused(const std::wstring& sMessage, std::uint32_t lCode) {
    platform_.setTimer(TimerId::Timer2, layout::IntervalOf(TimerId::Timer2), false);
    platform_.messageBox(sMessage, layout::kCaption, true);
    platform_.endProcess(lCode != 0 ? lCode : 1);  // a failure never ends as a success
}

}  // namespace czuwajnik
