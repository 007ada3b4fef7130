// The window's logic against a platform that logs all it is asked. Each story is a table
// row: the settings file the utility starts with, what the user and the timers do, what the
// system answers, and everything that reaches the screen, the processes and the disk.

#include <gtest/gtest.h>

#include <sstream>

#include "app/form1.h"
#include "settings/settings.h"
#include "tests/fake_platform.h"

namespace czuwajnik {

namespace {

using Log = std::vector<std::wstring>;

Log operator+(Log a, const Log& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string Record(const std::string& path, bool autoRun) {
    return "\"" + path + "\"\r\n" + (autoRun ? "#TRUE#" : "#FALSE#") + "\r\n";
}
constexpr float At(int h, int m, float s) { return h * 3600.0f + m * 60.0f + s; }

const std::string kGame = Record("C:\\Gry\\gra.exe", false), kNothing = Record("", false);
std::string Padded(std::size_t bytes) { return (Record("x", true) + std::string(bytes, ' ')).substr(0, bytes); }
// A path of `letters` times "だ", which a code page of two bytes a letter holds as 0xE0 0xE0.
std::string TwoBytesEach(int letters) { return "C:\\" + std::string(2 * letters, '\xE0') + "\\gra.exe"; }
// What the load shows of a file that reads.
Log Shows(const std::wstring& path, bool ticked) {
    return Log{L"check " + std::to_wstring(ticked), L"label Program: " + path} + (ticked ? Log{L"Timer1 1"} : Log{});
}
const Log kShowsGame = Shows(L"C:\\Gry\\gra.exe", false);
const Log kRunsGame = {L"Uruchom off", L"minimise", L"cd C:\\Gry\\", L"start C:\\Gry\\gra.exe show 1 own",
                       L"open 1024 0 1", L"Timer2 200", L"awake on"};
const Log kEnds = {L"close 1001", L"awake off"};  // the watched program has ended
const Log kPulse = {L"key 145 0 0 0", L"key 145 0 2 0"};
const std::wstring kAbout = L"message Czuwajnik: Czuwajnik 1.1\r\nProjekt Czuwajnik, otwarte oprogramowanie\r\n"
                            L"https://www.example.org/czuwajnik\r\nczuwajnik@example.org";
// Started or found from the command line: watched and shown as after Uruchom, the current
// 3-minute window's pulse sent at once.
Log Watching(const std::wstring& program, const std::wstring& open) {
    return Log{open, L"Timer2 200", L"awake on"} + kPulse +
           Log{L"label Program: " + program, L"choosing off", L"minimise"};
}
// The countdown's texts from one second to another, one a second.
Log Countdown(const std::wstring& done, const std::wstring& now, int from, int to) {
    Log shown;
    for (int left = from; left >= to; --left)
        shown.push_back(L"countdown Komputer zostanie " + done + L" za " + std::to_wstring(left) + L" s. " + now);
    return shown;
}
const std::wstring kUntil = L"label Czuwam do ", kNote = L" (na baterii: nie czuwam)";
Log KeepsAwake(const std::wstring& until) {
    return {L"label Czuwam do " + until, L"choosing off", L"minimise", L"Timer2 200", L"awake on"};
}
const Log kRunsHra =
    Log{L"start D:\\start\\hra.exe show 1 caller's"} + Watching(L"D:\\start\\hra.exe", L"open 1024 0 1");
const std::wstring kOwn = L"C:\\Narzedzia\\ustawienia.dat";  // beside the exe, where the end writes
Log Saved(const std::string& bytes) {
    return {L"cd C:\\Narzedzia\\", L"write C:\\Narzedzia\\ustawienia.dat " + test::Widen(bytes), L"end 0"};
}
std::wstring Dialog(const std::wstring& at) {
    return L"dialog Wybierz program. at " + at +
           L" Programy (*.exe)|*.exe|Wszystkie pliki (*.*)|*.*| 1 6148 *.*  255 255 255";
}

// "/name gra", second by second. Its own process does not count; the copies found are watched by
// their handles, 10 started meanwhile is not looked for before a minute; 9 cannot be opened, and
// is found gone by the process list; a successor within 5 s keeps the watch.
const test::Script kByNameScript = {.clock = {At(10, 3, 0)}, .opens = 2, .commandLine = L"/name gra",
                                    .seconds = {{}, {{4242, L"gra.exe"}}, {{7, L"gra.exe"}, {8, L"gra.exe"}},
                                                {{8, L"gra.exe"}, {10, L"gra.exe"}}, {}, {{9, L"gra.exe"}}, {}}};
const Log kByName = Log{L"label Czekam na: gra.exe", L"choosing off", L"minimise", L"Timer2 200", L"open 4096 0 7",
                        L"open 4096 0 8", L"awake on"} + kPulse +
                    Log{L"label Program: gra.exe (działa: 2)", L"close 1007", L"label Program: gra.exe (działa: 1)",
                        L"close 1008", L"open 4096 0 9"};

// "/name gra" finding copy 7 running at its start.
const Log kFinds7 = Log{kByName[0], kByName[1], kByName[2], kByName[3], L"open 4096 0 7", L"awake on"} + kPulse +
                    Log{L"label Program: gra.exe (działa: 1)"};
// Copy 7, which cannot be opened, while the list of processes cannot be read, but for one second.
const std::vector<ProcessEntry> kNoList = {{0, L""}}, kBlind7 = {{7, L"gra.exe"}};
const test::Script kUnreadable = {.opens = 0, .commandLine = L"/name gra", .seconds = {kBlind7, kNoList, kNoList,
                                  kNoList, kNoList, kNoList, kNoList, kNoList, kNoList, kBlind7, kNoList}};

struct Story {
    friend void PrintTo(const Story& story, std::ostream* out) { *out << story.name; }
    const char* name;
    std::optional<std::string> file;  // in the folder the utility starts in
    const char* steps;                // what the user and the timers do
    Log log;                          // from the load on
    test::Script script = {};
};

// The user's and the timers' events, by name; "box" ticks or unticks the check box.
const std::map<std::string, void (Form1::*)()> kEvents = {
    {"run", &Form1::Command1_Click},      {"menu-run", &Form1::mnuPlikUruchom_Click},
    {"auto-run", &Form1::Timer1_Timer},   {"watch", &Form1::Timer2_Timer},
    {"browse", &Form1::Command2_Click},   {"menu-browse", &Form1::mnuPlikPrzegladaj_Click},
    {"close", &Form1::Form_Unload},       {"koniec", &Form1::mnuPlikKoniec_Click},
    {"about", &Form1::mnuPomocOP_Click},  {"now", &Form1::cmdTeraz_Click},
    {"cancel", &Form1::cmdAnuluj_Click},  {"resume", &Form1::Form_Resume},
    {"ctrl-c", &Form1::Form_Interrupt}};

// The log of a run: the settings file it starts with (if any), what the system answers, and what the
// user and the timers do.
Log Played(const test::Script& script, const std::optional<std::string>& file, const std::string& steps) {
    test::FakePlatform fake;
    static_cast<test::Script&>(fake) = script;
    if (file) fake.files[fake.cwd + L"ustawienia.dat"] = *file;
    Form1 form(fake);
    std::istringstream events(steps);
    try {
        form.Form_Load();
        for (std::string step; events >> step;)
            if (step == "box") fake.check = 1 - fake.check;
            else if (step.rfind("drop:", 0) == 0) form.Form_OLEDragDrop(test::Widen(step.substr(5)));
            else if (step[0] == '+') fake.local += std::stoll(step);  // the clock moved by so many seconds
            else if (step.rfind("asleep:", 0) == 0)  // so many seconds asleep, which the time awake does not count
                fake.second += std::stoul(step.substr(7)), fake.asleep += std::stoul(step.substr(7));
            else if (std::isdigit(step[0]))  // seconds of the watch's 200 ms ticks
                for (int tick = 0; tick < 5 * std::stoi(step); ++tick) {
                    fake.second += tick % 5 == 0;
                    form.Timer2_Timer();
                }
            else (form.*kEvents.at(step))();
    } catch (const test::ProcessEnded&) {
    } catch (const SystemError& error) {
        fake.log.push_back(L"failure " + error.reason());
    }
    return fake.log;
}

class Stories : public testing::TestWithParam<Story> {};

TEST_P(Stories, ReachTheSystemAsTheRowSays) {
    const Story& story = GetParam();
    EXPECT_EQ(Played(story.script, story.file, story.steps), story.log);
}

INSTANTIATE_TEST_SUITE_P(
    Utility, Stories,
    testing::Values(
        // 259 is the status of a program still running.
        Story{"AutoRunWatchesPulsesAndEndsWithTheProgram", Record("C:\\Gry\\gra.exe", true),
              "auto-run watch about watch watch box watch",
              Shows(L"C:\\Gry\\gra.exe", true) + Log{L"Timer1 off"} + kRunsGame + Log{kAbout} + kPulse + kEnds +
                  Saved(kGame),
              {.runs = 3, .code = 259, .clock = {At(10, 2, 59.4f), At(10, 2, 59.6f), At(10, 3, 0.4f)}, .power = "b"}},
        Story{"BlanksCommasLetters", Record("C:\\Gry, a b\\gr\xE9.exe", false), "close",
              Shows(L"C:\\Gry, a b\\gré.exe", false) + Saved(Record("C:\\Gry, a b\\gr\xE9.exe", false))},
        Story{"LooseBlanksAndLineEnds", " \t\"C:\\x.exe\" tail\n\t #TRUE# tail", "koniec",
              Shows(L"C:\\x.exe", true) + Saved(Record("C:\\x.exe", true))},
        Story{"OnlyThePathIsKeptUnshown", "\"C:\\Gry\\gra.exe\"\r\n", "menu-run koniec", kRunsGame + Saved(kGame)},
        Story{"NoOpeningQuote", "C:\\x.exe\"\r\n#TRUE#\r\n", "run close", Saved(kNothing)},
        Story{"AnEmptyPath", kNothing, "close", Shows(L"", false) + Saved(kNothing)},
        // A valid file is far smaller than 4096 bytes; a larger one is not read.
        Story{"FourKilobytes", Padded(4096), "close", Shows(L"x", true) + Saved(Record("x", true))},
        Story{"OrMore", Padded(4097), "close", Saved(kNothing)},
        Story{"AStartFailureWhileWatchingLeavesTheWatch", kGame, "run menu-run watch",
              kShowsGame + kRunsGame +
                  Log{L"Uruchom off", L"minimise", L"cd C:\\Gry\\", L"cd C:\\Gry\\", L"minimise", L"Uruchom off",
                      L"error Czuwajnik: Nie można uruchomić programu:\r\nC:\\Gry\\gra.exe\r\n\r\nno such file"} +
                  kEnds + Saved(kGame),
              {.starts = 1}},
        // The pulse: one Scroll Lock press and release per window of the time of day rounded to the second.
        Story{"PulseOncePerWindowMidnightToo", kGame, "run watch watch watch watch watch watch watch watch",
              kShowsGame + kRunsGame + kPulse + kPulse + kPulse,
              {.runs = 99,
               .clock = {At(10, 3, 0), At(10, 3, 0.6f), At(10, 5, 59.6f), At(23, 59, 59.4f), At(23, 59, 59.5f), 0.0f,
                         0.4f, 0.6f}}},
        // Read and written by its length in letters, not in bytes; 259 letters at most.
        Story{"TwoBytesALetter", Record(TwoBytesEach(248), false), "close",
              Shows(L"C:\\" + std::wstring(248, L'だ') + L"\\gra.exe", false) + Saved(Record(TwoBytesEach(248), false)),
              {.twoBytes = true}},
        Story{"TwoBytesALetterOneTooMany", Record(TwoBytesEach(249), true), "close", Saved(kNothing),
              {.twoBytes = true}},
        Story{"BrowseChoosesAndOpensWhereTheLastProgramWas", kGame, "browse menu-browse menu-browse browse run close",
              kShowsGame + Log{Dialog(L"C:\\"), L"label Program: D:\\Moje, gry\\gra.exe", Dialog(L"D:\\Moje, gry\\"),
                               L"label Program: ", Dialog(L"D:\\Moje, gry\\"), L"label Program: E:\\x.exe",
                               Dialog(L"E:\\"), L"label Program: "} + Saved(kNothing),
              {.answers = {L"D:\\Moje, gry\\gra.exe", std::nullopt, L"E:\\x.exe", std::nullopt}}},
        Story{"APathOutsideTheCodePageIsSavedByItsShortName", std::nullopt, "browse close",
              Log{Dialog(L"C:\\"), L"label Program: C:\\日本\\app.exe"} + Saved(Record("C:\\B6E5~1\\app.exe", false)),
              {.answers = {L"C:\\日本\\app.exe"}, .shortNames = {{L"C:\\日本\\app.exe", L"C:\\B6E5~1\\app.exe"}}}},
        // A shortcut is chosen by the file it leads to; one that leads nowhere changes nothing.
        Story{"ADroppedFileIsChosenAsBrowseChoosesIt", std::nullopt,
              "drop:C:\\Pulpit\\stara.lnk drop:C:\\Pulpit\\Gra.LNK browse drop:C:\\Gry\\gra.exe close",
              Log{L"error Czuwajnik: Skrót nie prowadzi do pliku:\r\nC:\\Pulpit\\stara.lnk",
                  L"label Program: C:\\Gry\\gra.exe", Dialog(L"C:\\Gry\\"), L"label Program: D:\\Moje\\inna.exe",
                  L"label Program: C:\\Gry\\gra.exe"} + Saved(kGame),
              {.answers = {L"D:\\Moje\\inna.exe"},
               .shortcuts = {{L"C:\\Pulpit\\Gra.LNK", L"C:\\Gry\\gra.exe"}, {L"C:\\Pulpit\\stara.lnk", L"C:\\x.exe"}}}},
        // Held by another program at start: said once. The file beside the exe, which the end
        // writes, is then left as it is; one held in the start folder leaves that one to be read.
        Story{"AFileHeldAtStart", kNothing, "close",
              Log{L"error Czuwajnik: held (code 32)\r\n\r\nCzuwajnik użyje pliku " + kOwn + L"."} + kShowsGame +
                  Saved(kGame),
              {.files = {{kOwn, kGame}}, .held = {L"D:\\start\\ustawienia.dat"}}},
        Story{"AFileHeldBesideTheExe", std::nullopt, "close",
              {L"error Czuwajnik: held (code 32)\r\n\r\nUstawienia nie zostaną zapisane przy zakończeniu.", L"end 0"},
              {.files = {{kOwn, kGame}}, .held = {kOwn}}},
        // From the command line: the program as the command prompt finds it, started in the caller's
        // folder with its arguments as written and the caller's handles, watched as after Uruchom and
        // bound to it; the utility ends with its exit code, or 259 while it runs on, and neither reads
        // nor writes its settings.
        Story{"ABareNameIsFoundAlongPathByPathext", Record("C:\\x.exe", true),
              "watch menu-run menu-browse drop:C:\\Gry\\gra.exe close",
              Log{L"start C:\\Windows\\system32\\cmd.exe /d /v:off /s /c \"\"C:\\Gry;Stare\\gra.cmd\" -x\" "
                  L"show 1 caller's"} +
                  Watching(L"C:\\Gry;Stare\\gra.cmd", L"open 1024 0 1") + kEnds + Log{L"end 5"},
              {.runs = 1, .code = 5, .commandLine = L"gra -x",
               .env = {{L"PATH", L"C:\\Narzedzia;\"C:\\Gry;Stare\";"}, {L"PATHEXT", L".CMD;.EXE;"},
                       {L"NoDefaultCurrentDirectoryInExePath", L"1"}},
               .programs = {L"D:\\start\\gra.cmd", L"C:\\Narzedzia\\gra", L"C:\\Gry;Stare\\gra.exe",
                            L"C:\\Gry;Stare\\gra.cmd"}}},
        // A program that cannot be started is said so; a failure with no code ends with 1, never 0.
        Story{"AStartFailure", std::nullopt, "",
              {L"Timer2 off",
               L"error Czuwajnik: Nie można uruchomić programu:\r\nD:\\start\\hra.exe\r\n\r\nno such file", L"end 1"},
              {.starts = 0, .commandLine = L"hra"}},
        // Where it cannot be watched (its status cannot be read), it is taken for still running.
        Story{"OrInTheCurrentFolder", std::nullopt, "watch close",
              kRunsHra + Log{L"awake off", L"end 259"}, {.opens = 0, .commandLine = L"hra"}},
        // A path with a folder in it is not looked for along PATH; a file without an extension is no program.
        Story{"AProgramNotFound", std::nullopt, "",
              {L"Timer2 off", L"error Czuwajnik: Nie można uruchomić programu:\r\nD:\\start\\Gry\\gra\r\n\r\nerror 2",
               L"end 2"},
              {.commandLine = L"Gry\\gra", .env = {{L"PATH", L"C:\\"}}, .programs = {L"D:\\start\\Gry\\gra"}}},
        // Quoted, cmd hands a script "a&b" as text; unquoted, it would run "b" as a command.
        Story{"AScriptIsGivenNoCommand", std::nullopt, "",
              {L"Timer2 off", L"error Czuwajnik: Nie uruchomiono skryptu:\r\nD:\\start\\job.CMD\r\n\r\nJego ścieżka "
               L"lub argumenty zawierają znak końca wiersza, który wiersz poleceń odczytałby jako polecenie albo "
               L"zmienną, a nie jako tekst.", L"end 87"},
              {.commandLine = L"job.CMD \"a&b c\" x\ny", .programs = {L"D:\\start\\job.CMD"}}},
        // Where it cannot be waited on, its exit status tells its end; the pulse sent at once is the
        // current window's.
        Story{"WatchingAProcess", std::nullopt, "watch watch",
              Watching(L"C:\\Gry\\1042.exe", L"open 4096 0 42") + Log{L"close 1042", L"awake off", L"end 3"},
              {.runs = 1, .code = 3, .clock = {At(10, 3, 0.4f)}, .commandLine = L" /pid 42", .waits = false}},
        Story{"NotItself", std::nullopt, "",
              {L"Timer2 off", L"error Czuwajnik: Proces 4242 to sam Czuwajnik.", L"end 87"},
              {.commandLine = L"/pid 4242"}},
        // By name: it waits, with no pulse and no request to stay awake, while no other process of
        // that program runs; then watches; and ends with 0 once none has run for 5 s.
        Story{"ByName", std::nullopt, "10s about 1s", kByName + Log{kAbout, L"awake off", L"end 0"}, kByNameScript},
        // A copy running at the start is watched at once; one started meanwhile is counted within a minute.
        // Ctrl+C where the console twin runs ends a run with no job of its own as closing it would.
        Story{"ByNameCountsWithinAMinute", std::nullopt, "60s ctrl-c",
              kFinds7 + Log{L"open 4096 0 10", L"label Program: gra.exe (działa: 2)", L"awake off", L"end 259"},
              {.commandLine = L"/name gra", .seconds = {{{7, L"gra.exe"}}, {{7, L"gra.exe"}, {10, L"gra.exe"}}}}},
        // A name with another extension than .exe or .com is taken as it is and with .exe.
        Story{"ByNameClosedWhileWaiting", std::nullopt, "6s close",
              {L"label Czekam na: gra.exe, py3.12, py3.12.exe, X.Com", kByName[1], kByName[2], kByName[3], L"end 259"},
              {.commandLine = L"/name gra py3.12 X.Com"}},
        Story{"NoSuchProcess", std::nullopt, "",
              {L"open 4096 0 42", L"Timer2 off",
               L"error Czuwajnik: Nie można obserwować procesu 42:\r\n\r\nno such process", L"end 87"},
              {.opens = 0, .commandLine = L"-PID 42"}},
        // A list that cannot be read changes nothing; with no copy watched through its handle, ten such reads
        // in a row end the watch, once the request to stay awake is released.
        Story{"ByNameListUnreadable", std::nullopt, "18s about 1s",
              kFinds7 + Log{kAbout, L"awake off", L"Timer2 off", L"error Czuwajnik: no list", L"end 1"}, kUnreadable},
        // While a copy is watched through its handle, the list is only for counting: its failures end nothing.
        Story{"ByNameListUnreadableWhileWatched", std::nullopt, "700s close", kFinds7 + Log{L"awake off", L"end 259"},
              {.commandLine = L"/name gra", .seconds = {{{7, L"gra.exe"}}, {{0, L""}, {7, L"gra.exe"}}}}},
        Story{"Help", std::nullopt, "", {L"message Czuwajnik: " + Usage(), L"end 0"}, {.commandLine = L"/?"}},
        Story{"AnUnknownOption", std::nullopt, "",
              {L"Timer2 off", L"error Czuwajnik: Nieznana opcja: /x\r\n\r\n" + Usage(), L"end 87"},
              {.commandLine = L"/x"}},
        // A limit alone: awake, the screen too, until it comes; then 0, and what then, after a countdown,
        // which Ctrl+C cancels.
        Story{"ForALimitAloneThenSleep", std::nullopt, "3s ctrl-c",
              KeepsAwake(L"17:11:10") + kPulse + Countdown(L"uśpiony", L"Uśpij teraz", 60, 60) +
                  Log{L"countdown closed", L"awake off", L"end 0"},
              {.commandLine = L"/FOR 3s -then Sleep", .local = 17 * 3600 + 11 * 60 + 7}},
        // A limit cutting a job short: 1460, the program left running, and nothing then. With /system
        // and /ac, no key pulse, even at a 3-minute mark or once plugged in, and the request on mains alone.
        Story{"ALimitCutsTheJobShort", std::nullopt, "2s",
              Log{L"start D:\\start\\hra.exe show 1 caller's", L"open 1024 0 1", L"Timer2 200",
                  L"label Program: D:\\start\\hra.exe" + kNote, L"choosing off", L"minimise",
                  L"label Program: D:\\start\\hra.exe", L"awake on", L"close 1001", L"awake off", L"end 1460"},
              {.runs = 99, .clock = {At(10, 3, 0)}, .commandLine = L"/system /ac /for 2s /then shutdown hra",
               .power = "bm"}},
        // A limit days away says when; closed first, the run ends with 259.
        Story{"ALimitDaysAway", std::nullopt, "close",
              KeepsAwake(L"17:11:07 (za 2 dni)") + kPulse + Log{L"awake off", L"end 259"},
              {.commandLine = L"/for 48h", .local = 17 * 3600 + 11 * 60 + 7}},
        // Until the next such time of day, tomorrow where it is now, moved with the clock across midnight.
        Story{"UntilTheClockMoves", std::nullopt, "+86399 1s",
              KeepsAwake(L"6:01 (jutro)") + Log{L"awake off", L"end 0"},
              {.commandLine = L"/system /until 6:01", .local = 6 * 3600 + 60}},
        // Ctrl+C while a job of its own runs is for the job. Once the job has ended by itself: a countdown
        // of 60 s, then the action and the job's code; or cancelled, also by a sign-out, quietly; or
        // refused by the system, which says why.
        Story{"ThenSleepAfterTheJob", std::nullopt, "watch ctrl-c watch 61s",
              kRunsHra + Countdown(L"uśpiony", L"Uśpij teraz", 60, 1) + Log{L"countdown closed", L"power 0", L"end 5"},
              {.runs = 1, .code = 5, .commandLine = L"/then sleep hra"}},
        Story{"ThenHibernateSignedOut", std::nullopt, "watch close",
              kRunsHra + Countdown(L"zahibernowany", L"Hibernuj teraz", 60, 60) + kEnds + Log{L"end 5"},
              {.code = 5, .commandLine = L"/then hibernate hra"}},
        Story{"ThenShutdownRefused", std::nullopt, "watch now",
              kRunsHra + Countdown(L"wyłączony", L"Wyłącz teraz", 60, 60) + Log{L"countdown closed", L"power 2"} +
                  kEnds + Log{L"Timer2 off",
                      L"error Czuwajnik: Nie można wyłączyć komputera:\r\n\r\nrefused", L"end 1314"},
              {.code = 5, .commandLine = L"/then shutdown hra", .refuses = 1314}},
        // A sleep that came anyway (a lid) cancels the countdown, counted in time awake, once the system wakes; a
        // job stopped by its person (Ctrl+C) asks for nothing more.
        Story{"AWakeUpCancelsTheCountdown", std::nullopt, "watch 3s asleep:3600 1s resume",
              kRunsHra + Countdown(L"wyłączony", L"Wyłącz teraz", 60, 56) + Log{L"countdown closed"} + kEnds +
                  Log{L"end 5"},
              {.code = 5, .commandLine = L"/then shutdown hra"}},
        // On mains power only: on battery neither the request nor the pulses, and the label says why;
        // plugged in, both, the pulse at once; a source the system cannot tell counts as mains.
        Story{"OnMainsPowerOnly", std::nullopt, "8s",
              Log{L"label Czuwam do 17:11:15", L"choosing off", L"minimise", L"Timer2 200",
                  kUntil + L"17:11:15" + kNote, L"label Czuwam do 17:11:15", L"awake on", kPulse[0], kPulse[1],
                  kUntil + L"17:11:15" + kNote, L"awake off", L"label Czuwam do 17:11:15", L"awake on", kPulse[0],
                  kPulse[1], L"awake off", L"end 0"},
              {.clock = {At(10, 3, 0)}, .commandLine = L"/ac /for 8s", .local = 17 * 3600 + 11 * 60 + 7,
               .power = "bbmmbb?"}},
        Story{"CtrlCAsksForNothingMore", std::nullopt, "watch", kRunsHra + kEnds + Log{L"end 3221225786"},
              {.code = static_cast<int>(0xC000013A), .commandLine = L"/then sleep hra"}}),
    [](const auto& info) { return std::string(info.param.name); });

// What each command line asks for, as the user wrote it: the job, then the options.
TEST(CommandLine, ReadsWhatTheUserWrote) {
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"C:\\a\" b\"\\g.exe\tx", L"run C:\\a b\\g.exe|\tx"},
        {L"/pid\t4294967295 ", L"watch 4294967295"},
        {L"/pid 0", L"refuse To nie jest identyfikator procesu: 0"},
        {L"/pid 1x", L"refuse To nie jest identyfikator procesu: 1x"},
        {L"-NAME ffmpeg \"py 3.12\" X.Com", L"names ffmpeg|py 3.12|X.Com"},
        {L"/name \"\"", L"refuse To nie jest nazwa pliku programu: \"\""},
        {L"/name a\x01", L"refuse To nie jest nazwa pliku programu: a\x01"},
        {L"/For 1H30m -THEN hibernate /system -Ac gra /for", L"run gra| /for for 5400 then 1 system ac"},
        {L"/until 23:59 /then shutdown /pid 9", L"watch 9 until 1439 then 2"},
        {L"/for 168h /name x", L"names x for 604800"},
        {L"/for 0s", L"refuse To nie jest czas trwania: 0s (np. 45s, 90m, 2h, 1h30m; od 1 s do 7 dni)."},
        {L"/for 168h1s", L"refuse To nie jest czas trwania: 168h1s (np. 45s, 90m, 2h, 1h30m; od 1 s do 7 dni)."},
        {L"/for 30m1h", L"refuse To nie jest czas trwania: 30m1h (np. 45s, 90m, 2h, 1h30m; od 1 s do 7 dni)."},
        {L"/until 24:00", L"refuse To nie jest godzina: 24:00 (GG:MM, np. 7:30 albo 17:30)."},
        {L"/until 7:60", L"refuse To nie jest godzina: 7:60 (GG:MM, np. 7:30 albo 17:30)."},
        {L"/then reboot x", L"refuse Nieznane działanie: reboot (po /then: sleep, hibernate albo shutdown)."},
        {L"/for 1h /until 7:00 x", L"refuse Podaj /for albo /until, nie obie opcje."},
        {L"/ac -AC x", L"refuse Opcja podana dwa razy: -AC"},
        {L"/ac", L"refuse Podano opcje, ale ani programu (albo /pid, /name), ani czasu (/for, /until)."},
    };
    for (const auto& [line, wanted] : cases) {
        const Command c = ReadCommandLine(line);
        std::wstring names;
        for (const std::wstring& name : c.names) names += (names.empty() ? L"" : L"|") + name;
        const std::wstring kinds[] = {L"window", L"run ", L"watch ", L"names ", L"keep", L"help", L"refuse "};
        const std::wstring what[] = {L"", c.program + L"|" + c.arguments, std::to_wstring(c.pid), names, L"", L"",
                                     c.problem};
        const std::wstring options = (c.forSeconds ? L" for " + std::to_wstring(*c.forSeconds) : L"") +
                                     (c.untilMinute ? L" until " + std::to_wstring(*c.untilMinute) : L"") +
                                     (c.then ? L" then " + std::to_wstring(static_cast<int>(*c.then)) : L"") +
                                     (c.system ? L" system" : L"") + (c.mainsOnly ? L" ac" : L"");
        const auto kind = static_cast<int>(c.kind);
        EXPECT_EQ(kinds[kind] + what[kind] + options, wanted) << line;
    }
}

// What cmd /s /c runs of the rest of its command line: all of it, but its first and its last quote.
std::wstring CmdRuns(std::wstring rest) {
    rest.erase(rest.rfind(L'"'), 1);
    return rest.erase(rest.find(L'"'), 1);
}

// A script runs in the system's own cmd, given the whole command in one more pair of quotes: cmd then runs
// the script and its arguments as written, whatever its path holds. Refused: what cmd would not hand on as
// text, & | < > ^ outside quotes (each quote opens or closes them; a backslash escapes none), a % anywhere.
TEST(Scripts, RunInTheSystemsCmdAsWritten) {
    const std::pair<std::wstring, std::wstring> cases[] = {  // the command line, what cmd runs
        {L"job a b", L"\"D:\\start\\job.cmd\" a b"},
        {L"job \"a&b c\" 5", L"\"D:\\start\\job.cmd\" \"a&b c\" 5"},
        {L"\"C:\\My Jobs\\job.bat\" \"\"", L"\"C:\\My Jobs\\job.bat\" \"\""},
        {L"\"C:\\a&b (1)\\job.CMD\" \"&calc\"", L"\"C:\\a&b (1)\\job.CMD\" \"&calc\""},
        {L"C:\\100%\\job.cmd x", L"refused: znak \u201E%\u201D"},
        {L"job \"x\\\" & echo pwned > C:\\pwned.txt & \\\"\"", L"refused: znak \u201E&\u201D"}};
    for (const auto& [line, runs] : cases) {
        const Log log = Played({.commandLine = line, .programs = {L"D:\\start\\job.cmd", L"C:\\My Jobs\\job.bat",
                                                                  L"C:\\a&b (1)\\job.CMD", L"C:\\100%\\job.cmd"}},
                               std::nullopt, "");
        const std::wstring cmd = L"start C:\\Windows\\system32\\cmd.exe /d /v:off /s /c ", start = log[0];
        const std::wstring refusal = log.back() == L"end 87" ? log.at(1) : L"";
        EXPECT_EQ(refusal.empty() ? CmdRuns(start.substr(cmd.size(), start.rfind(L" show ") - cmd.size()))
                                  : L"refused: " + refusal.substr(refusal.find(L"znak "), 8),
                  runs);
    }
}

}  // namespace
}  // namespace czuwajnik
