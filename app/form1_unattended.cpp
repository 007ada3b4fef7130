// An unattended run: its limit, whether the computer may be kept awake now, and the countdown to
// sleep, hibernation or shutdown once the job is done.

#include "app/form1.h"
#include "app/layout.h"

namespace czuwajnik {
namespace {

constexpr std::uint32_t kErrorTimeout = 1460;
constexpr std::uint64_t kCountdownMs = 60000;
constexpr std::int64_t kDaySeconds = 86400;

// What the countdown says and offers, and what a refusal says, by PowerAction.
struct Then {
    const wchar_t* done;    // "Komputer zostanie ... za N s."
    const wchar_t* now;     // the button that does it at once
    const wchar_t* cannot;  // "Nie można ... komputera"
};
constexpr Then kThen[] = {{L"uśpiony", L"Uśpij teraz", L"uśpić"},
                          {L"zahibernowany", L"Hibernuj teraz", L"zahibernować"},
                          {L"wyłączony", L"Wyłącz teraz", L"wyłączyć"}};

// "17:30", "7:05:20", with "(jutro)" or "(za 3 dni)" where the time is not today's.
std::wstring TimeShown(std::int64_t when, std::int64_t now) {
    const auto twoDigits = [](std::int64_t n) { return (n < 10 ? L"0" : L"") + std::to_wstring(n); };
    const std::int64_t second = when % kDaySeconds, days = when / kDaySeconds - now / kDaySeconds;
    std::wstring shown = std::to_wstring(second / 3600) + L":" + twoDigits(second / 60 % 60);
    if (second % 60 != 0) shown += L":" + twoDigits(second % 60);
    if (days == 1) shown += L" (jutro)";
    if (days > 1) shown += L" (za " + std::to_wstring(days) + L" dni)";
    return shown;
}

}  // namespace

// /for on the clock that a change of the time of day does not move; /until on the local time,
// which such a change, or summer time, moves as the user expects.
void Form1::SetLimit(const Command& command) {
    if (command.forSeconds) lLimitMs = platform_.milliseconds() + 1000ull * *command.forSeconds;
    if (command.untilMinute) {
        const std::int64_t now = platform_.localTime();
        const std::int64_t today = now - now % kDaySeconds + 60 * *command.untilMinute;
        lLimitTime = today > now ? today : today + kDaySeconds;
    }
}

bool Form1::LimitCame() {
    return (lLimitMs && platform_.milliseconds() >= *lLimitMs) || (lLimitTime && platform_.localTime() >= *lLimitTime);
}

// A limit alone: awake from the start until the limit.
void Form1::KeepAwakeUntilLimit(const Command& command) {
    bNoJob = true;
    const std::int64_t now = platform_.localTime();
    const std::int64_t until = lLimitTime ? *lLimitTime : now + *command.forSeconds;
    ShowWatching(L"Czuwam do " + TimeShown(until, now));
    platform_.setTimer(TimerId::Timer2, layout::IntervalOf(TimerId::Timer2), true);
    BeginWatching();
}

// May the computer be kept awake now? Always, but with /ac on battery: then neither the request nor
// the pulses, so that the power plan decides as if Czuwajnik were not there, and the label says why.
// A source the system cannot tell (a desktop may say "unknown") counts as mains. Asked as the watch
// begins and each second of it.
void Form1::KeepAwakeWhereAllowed() {
    const bool bBattery = bMainsOnly && platform_.onBattery().value_or(false);
    const bool bChanged = bBattery != bOnBattery;
    bOnBattery = bBattery;
    if (bChanged && !sLabel.empty()) ShowLabel(sLabel);
    SetAwake(!bBattery);
}

// Every end of a command-line run: the job's exit code (or 259 where it still runs), 1460 where the
// limit cut it short, 0 for a limit alone; then, where the job is done, the countdown to iThen. A
// job stopped by its person (Ctrl+C, its console closed) is not done: they are there, and decide.
void Form1::EndCommandLine(Ending how) {
    if (how == Ending::Closed && !lCountdownSince)
        if (const std::optional<std::int32_t> ended = EndOf(hProcess)) lExitCode = *ended;
    if (how == Ending::LimitCame) lExitCode = bNoJob ? 0 : static_cast<std::int32_t>(kErrorTimeout);
    const bool done = (how == Ending::JobEnded && lExitCode != kControlCExit) || (how == Ending::LimitCame && bNoJob);
    if (!iThen || !done) {
        StopWatching();
        platform_.endProcess(static_cast<std::uint32_t>(lExitCode));
    }
    lCountdownSince = platform_.awakeMilliseconds();
    CountDown();
}

// Each tick of the countdown. The request to stay awake is held on, so that idle sleep does not come
// first; the time counted is the time awake, so that a wake-up finds the countdown where it was.
void Form1::CountDown() {
    const std::uint64_t elapsed = platform_.awakeMilliseconds() - *lCountdownSince;
    if (elapsed >= kCountdownMs) return cmdTeraz_Click();
    const std::uint64_t left = (kCountdownMs - elapsed + 999) / 1000;
    if (left == iSecondsShown) return;
    iSecondsShown = left;
    const Then& then = kThen[static_cast<int>(*iThen)];
    platform_.showCountdown(L"Komputer zostanie " + std::wstring(then.done) + L" za " + std::to_wstring(left) + L" s.",
                            then.now);
}

void Form1::cmdTeraz_Click() {
    platform_.closeCountdown();
    try {
        platform_.powerDown(*iThen);
    } catch (const SystemError& error) {
        StopWatching();
        const std::wstring cannot = kThen[static_cast<int>(*iThen)].cannot;
        return EndRefused(L"Nie można " + cannot + L" komputera:\r\n\r\n" + error.reason(), error.code());
    }
    platform_.endProcess(static_cast<std::uint32_t>(lExitCode));
}

void Form1::cmdAnuluj_Click() {
    platform_.closeCountdown();
    EndCommandLine(Ending::Closed);
}

// A sleep that came anyway (a lid, a power button) cancels the countdown: whoever woke the computer
// is there.
void Form1::Form_Resume() {
    if (lCountdownSince) cmdAnuluj_Click();
}

}  // namespace czuwajnik
