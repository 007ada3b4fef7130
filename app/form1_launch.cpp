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

}  // namespace

std::wstring Form1::FilePath(const std::wstring& sFile) const {
    const std::size_t slash = sFile.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : sFile.substr(0, slash + 1);
}

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

void Form1::RunProgram(const std::wstring& sPath, const std::wstring& sArguments, bool bWatch, Streams streams) {
    const std::uint32_t processId = platform_.startProgram(sPath, sArguments, kShowNormal, streams);
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

// The pulses keep the session's screen awake; the request keeps the computer awake even where no
// input reaches, in a locked or disconnected session. Made once the watch is set, so that the
// watch's end releases it.
void Form1::BeginWatching() {
    bWatching = true;
    platform_.keepSystemAwake(true);
}

void Form1::Timer2_Timer() {
    const std::optional<std::int32_t> ended = WatchedEnded();
    if (!ended) {
        if (bWatching) ApplyPulseRule();
        return;
    }
    lExitCode = *ended;
    if (hProcess != 0) platform_.closeHandle(hProcess);
    hProcess = 0;
    platform_.keepSystemAwake(false);
    Form_Unload();
}

// Is the watched program still running, and how did it end? Judged by the process itself, whatever
// its exit code; by name, by the processes of those programs (form1_command.cpp).
std::optional<std::int32_t> Form1::WatchedEnded() {
    return sNames.empty() ? platform_.exitCode(hProcess) : NamedEnded();
}

// One Scroll Lock press and release in every stretch where the time of day, rounded
// half to even, is a multiple of 180 s. Midnight (86400 and 0) is one such stretch.
void Form1::ApplyPulseRule() {
    const long rounded = std::lrint(platform_.timeOfDay());
    if (rounded % kPulsePeriodSeconds != 0) {
        bPulseSent = false;
        return;
    }
    if (bPulseSent) return;
    platform_.keybdEvent(kVkScroll, 0, 0, 0);
    platform_.keybdEvent(kVkScroll, 0, kKeyEventKeyUp, 0);
    bPulseSent = true;
}

}  // namespace czuwajnik
