#pragma once
// Czuwajnik's only window: it owns all state and handles every event.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "platform/platform.h"

namespace czuwajnik {

class Form1 {
public:
    explicit Form1(Platform& platform) : platform_(platform) {}

    // Lifecycle (form1_window.cpp).
    void Form_Load();
    void Form_Unload();
    void mnuPlikKoniec_Click();
    void mnuPomocOP_Click();

    // Launch and watch (form1_launch.cpp).
    void Command1_Click();
    void mnuPlikUruchom_Click();
    void Timer1_Timer();
    void Timer2_Timer();
    std::wstring FilePath(const std::wstring& sFile) const;

    // Program selection (form1_select.cpp).
    void Command2_Click();
    void mnuPlikPrzegladaj_Click();
    void Form_OLEDragDrop(const std::wstring& sFile);

    // The countdown before the computer sleeps or shuts down once a job is done (form1_unattended.cpp).
    void cmdTeraz_Click();
    void cmdAnuluj_Click();
    void Form_Resume();  // the system has woken from sleep or hibernation

    // Ctrl+C in the terminal, or the terminal closed, where the console twin runs (form1_command.cpp).
    void Form_Interrupt();

private:
    static constexpr std::int32_t kStillActive = 259;  // the exit status of a process still running
    static constexpr auto kControlCExit = static_cast<std::int32_t>(0xC000013A);  // by Ctrl+C, or its console closed
    enum class Ending { JobEnded, LimitCame, Closed };

    bool ReadSettings();
    void RunProgram(const std::wstring& sPath, const std::wstring& sArguments, bool bWatch, Streams streams);
    void Watch(Handle hWatched);
    void BeginWatching();
    void StopWatching();
    void SetAwake(bool bNow);
    std::optional<std::int32_t> WatchedEnded(bool bSecond);
    std::optional<std::int32_t> EndOf(Handle hWatched);
    static std::wstring CannotStart(const std::wstring& sPath, const SystemError& error);
    bool EndsWithName(const std::wstring& sName, const std::wstring& sEnd);  // as Windows compares file names
    bool IsScript(const std::wstring& sPath);  // a .bat or .cmd, which cmd runs
    void ApplyPulseRule();
    void SendPulse();
    // Driven from the command line (form1_command.cpp).
    void RunCommand(const Command& command);
    void RunFromCommandLine(const std::wstring& sName, const std::wstring& sArguments);
    void WatchFromCommandLine(std::uint32_t lProcessId);
    void WatchNamed(const std::vector<std::wstring>& names);
    std::optional<std::int32_t> NamedEnded();
    void FindCopies();
    void ShowCopies();
    std::optional<std::wstring> FindProgram(const std::wstring& sName);
    void ShowWatching(const std::wstring& sText);
    void ShowLabel(const std::wstring& sText);
    void EndRefused(const std::wstring& sMessage, std::uint32_t lExitCode);
    // Unattended (form1_unattended.cpp).
    void SetLimit(const Command& command);
    bool LimitCame();
    void KeepAwakeUntilLimit(const Command& command);
    void KeepAwakeWhereAllowed();
    void EndCommandLine(Ending how);
    void CountDown();
    // Program selection (form1_select.cpp).
    std::wstring ShowOpenDialog(Form1& frmOwner, std::int16_t iMode, const std::wstring& sTitle,
                                const std::wstring& sFileName, const std::wstring& sFilter,
                                std::wstring& sInitDir, const std::wstring& sDefExt);

    Platform& platform_;
    bool bPulseSent = false;
    std::wstring sProgram;
    bool bAutoStart = false;
    std::wstring sInitDir;
    Handle hProcess = 0;
    std::int32_t lExitCode = 0;
    bool bCommandLine = false;  // driven from the command line: nothing read or saved
    bool bOwnJob = false;  // started from the command line: Ctrl+C in its console reaches it too
    bool bSettingsUnread = false;  // the settings file is there but could not be read: it is kept
    bool bWatching = false;  // a job is watched, or a limit alone runs: awake where allowed
    bool bAwake = false;     // the stay-awake request is held, and the pulses are on
    // Watched by name: these programs' file names, and the copies of them found, by process id.
    struct Copy {
        Handle hProcess;  // 0 where it could not be opened: then the process list tells its end
        std::wstring sName;
    };
    std::vector<std::wstring> sNames;
    std::map<std::uint32_t, Copy> mCopies;
    unsigned iTicks = 0;  // watch ticks
    std::optional<std::uint64_t> lQuietSince;  // when no copy was found running any more
    unsigned iListFailures = 0;  // reads of the process list that failed in a row
    // From the command line: the limit, and what the system does once the job is done.
    bool bNoJob = false;  // a limit alone
    std::optional<std::uint64_t> lLimitMs;    // /for: when, on the clock a change of the time does not move
    std::optional<std::int64_t> lLimitTime;   // /until: when, in local time
    std::optional<PowerAction> iThen;
    bool bSystemOnly = false;  // /system: no key pulses, so the screen may go dark and lock
    bool bMainsOnly = false;   // /ac: awake only on mains power
    bool bOnBattery = false;   // with /ac, on battery at the last reading
    std::wstring sLabel;       // the label's text, without the note on battery
    std::optional<std::uint64_t> lCountdownSince;  // counting down to iThen since then, in time awake
    std::uint64_t iSecondsShown = 0;               // in the countdown
};

}  // namespace czuwajnik
