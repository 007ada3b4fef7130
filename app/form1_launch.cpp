// Launch and watch: the program started in its own folder, watched until it ends, and the
// computer and its screen kept awake meanwhile.

#include <cmath>

#include "app/form1.h"
#include "app/layout.h"

namespace czuwajnik {
namespace {

constexpr int kShowNormal = 1;
constexpr std::uint32_t kProcessQueryInformation = 1024;
constexpr long kPulsePeriodSeconds = 180;
constexpr std::uint8_t kVkScroll = 145;
constexpr std::uint32_t kKeyEventKeyUp = 2;
constexpr unsigned kTicksPerSecond = 1000 / layout::IntervalOf(TimerId::Timer2);

}  // namespace

std::wstring Form1::FilePath(const std::wstring& sFile) const {
    const std::size_t slash = sFile.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : sFile.substr(0, slash + 1);
}

bool Form1::EndsWithName(const std::wstring& sName, const std::wstring& sEnd) {
    return sName.size() >= sEnd.size() && platform_.sameFileName(sName.substr(sName.size() - sEnd.size()), sEnd);
}

bool Form1::IsScript(const std::wstring& sPath) { return EndsWithName(sPath, L".cmd") || EndsWithName(sPath, L".bat"); }

void Form1::Command1_Click() {
    if (sProgram.empty() || bCommandLine) return;  // a command-line run stays bound to its program
    const bool wasEnabled = platform_.runEnabled();
    const bool wasMinimised = platform_.minimised();
    const std::wstring previousDirectory = platform_.currentDirectory();
    platform_.setRunEnabled(false);
    platform_.setMinimised(true);
    try {
        // The program inherits its own folder as working directory; a bare name starts here.
        const std::wstring folder = FilePath(sProgram);
        if (!folder.empty()) platform_.setCurrentDirectory(folder);
        RunProgram(sProgram, L"", true, Streams::Own);
    } catch (const SystemError& error) {
        platform_.setCurrentDirectory(previousDirectory);
        platform_.setMinimised(wasMinimised);
        platform_.setRunEnabled(wasEnabled);
        platform_.messageBox(CannotStart(sProgram, error), layout::kCaption, true);
    }
}

std::wstring Form1::CannotStart(const std::wstring& sPath, const SystemError& error) {
    return L"Nie można uruchomić programu:\r\n" + sPath + L"\r\n\r\n" + error.reason();
}

void Form1::mnuPlikUruchom_Click() { Command1_Click(); }

void Form1::Timer1_Timer() {
    platform_.setTimer(TimerId::Timer1, layout::IntervalOf(TimerId::Timer1), false);
    Command1_Click();
}

// A script runs in the system's own command processor, never one found along PATH, as
// cmd /d /v:off /s /c ""SCRIPT" ARGUMENTS": no AutoRun, no delayed expansion (a ! stays text), and
// the whole command in one more pair of quotes, which /s takes off. Given the script itself, Windows
// would start cmd /c without them, and cmd would take off the first and the last quote it finds.
void Form1::RunProgram(const std::wstring& sPath, const std::wstring& sArguments, bool bWatch, Streams streams) {
    const bool script = IsScript(sPath);
    const std::wstring sStarted = script ? platform_.systemFolder() + L"cmd.exe" : sPath;
    const std::wstring sLine = script ? L" /d /v:off /s /c \"\"" + sPath + L"\"" + sArguments + L"\"" : sArguments;
    const std::uint32_t processId = platform_.startProgram(sStarted, sLine, kShowNormal, streams);
    if (!bWatch) return;
    Watch(platform_.openProcess(kProcessQueryInformation, false, processId));
}

void Form1::Watch(Handle hWatched) {
    // A second launch replaces the watched process; its handle is no longer needed.
    if (hProcess != 0) platform_.closeHandle(hProcess);
    hProcess = hWatched;
    platform_.setTimer(TimerId::Timer2, layout::IntervalOf(TimerId::Timer2), true);
    BeginWatching();
}

// Made once the watch is set, so that the watch's end releases what it holds.
void Form1::BeginWatching() {
    bWatching = true;
    KeepAwakeWhereAllowed();
}

void Form1::StopWatching() {
    if (hProcess != 0) platform_.closeHandle(hProcess);
    hProcess = 0;
    SetAwake(false);
}

// The one place where the request to stay awake and the pulses start and stop. The pulses keep the
// session's screen awake; the request keeps the computer awake even where no input reaches, in a
// locked or disconnected session. From the command line the keeping awake often begins after a
// long idle (a scheduled job, a job found at night, a laptop plugged in), so the current 3-minute
// window's pulse goes at once.
void Form1::SetAwake(bool bNow) {
    if (bNow == bAwake) return;
    bAwake = bNow;
    platform_.keepSystemAwake(bNow);
    if (bNow && bCommandLine && !bSystemOnly) SendPulse();
}

// Has the job ended, and how? Then: has the limit come? Each second: may the computer be kept
// awake now? Then the pulse rule.
void Form1::Timer2_Timer() {
    if (lCountdownSince) return CountDown();
    const bool bSecond = ++iTicks % kTicksPerSecond == 0;
    if (const std::optional<std::int32_t> ended = WatchedEnded(bSecond)) {
        lExitCode = *ended;
        if (bCommandLine) return EndCommandLine(Ending::JobEnded);
        StopWatching();
        return Form_Unload();
    }
    if (LimitCame()) return EndCommandLine(Ending::LimitCame);
    if (bSecond && bWatching) KeepAwakeWhereAllowed();
    if (bAwake && !bSystemOnly) ApplyPulseRule();
}

// Is the watched program still running, and how did it end? By name, by the processes of those
// programs, each second (form1_command.cpp); a limit alone watches nothing.
std::optional<std::int32_t> Form1::WatchedEnded(bool bSecond) {
    if (bNoJob) return std::nullopt;
    if (sNames.empty()) return EndOf(hProcess);
    return bSecond ? NamedEnded() : std::nullopt;
}

// How the process ended, once it has: as the system signals its end, whatever its code (a program
// may end with 259); where it cannot be waited on, by its exit status, 259 then meaning "running".
std::optional<std::int32_t> Form1::EndOf(Handle hWatched) {
    const std::optional<bool> ended = platform_.hasEnded(hWatched);
    if (ended == false) return std::nullopt;
    const std::optional<std::int32_t> status = platform_.exitCode(hWatched);
    if (!ended && status == kStillActive) return std::nullopt;
    return status;
}

// One Scroll Lock press and release in every stretch where the time of day, rounded
// half to even, is a multiple of 180 s. Midnight (86400 and 0) is one such stretch.
void Form1::ApplyPulseRule() {
    const long rounded = std::lrint(platform_.timeOfDay());
    if (rounded % kPulsePeriodSeconds != 0) {
        bPulseSent = false;
        return;
    }
    if (!bPulseSent) SendPulse();
}

void Form1::SendPulse() {
    platform_.keybdEvent(kVkScroll, 0, 0, 0);
    platform_.keybdEvent(kVkScroll, 0, kKeyEventKeyUp, 0);
    bPulseSent = true;
}

}  // namespace czuwajnik
