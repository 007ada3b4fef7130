// The window's logic against a recording platform: load and unload, the settings
// file, launch and watch, the pulse rule and the open-file dialog.

#include <gtest/gtest.h>

#include "app/form1.h"
#include "app/layout.h"
#include "settings/settings.h"
#include "tests/fake_platform.h"

namespace czuwajnik {

struct Form1TestAccess {
    static std::wstring ShowOpenDialog(Form1& form, std::int16_t mode, std::wstring& initDir) {
        return form.ShowOpenDialog(form, mode, L"T", L"", L"F", initDir, L"*.*");
    }
};

namespace {

using test::FakePlatform;
using test::ProcessEnded;

const std::wstring kSettings = L"ustawienia.dat";

struct Fixture {
    FakePlatform platform;
    Form1 form{platform};

    explicit Fixture(std::optional<std::string> settingsInStartFolder = std::nullopt) {
        if (settingsInStartFolder) platform.files[platform.cwd + kSettings] = *settingsInStartFolder;
    }
    // Ends the process through the given handler; returns what was written beside the exe.
    std::string EndWith(void (Form1::*handler)()) {
        EXPECT_THROW((form.*handler)(), ProcessEnded);
        const std::string* saved = platform.SettingsIn(platform.exeFolder);
        return saved != nullptr ? *saved : "<nothing written>";
    }
    std::vector<std::wstring> Keys() const {
        std::vector<std::wstring> keys;
        for (const std::wstring& call : platform.log)
            if (call.rfind(L"key ", 0) == 0) keys.push_back(call);
        return keys;
    }
};

// ---- Load, unload and the settings file ------------------------------------------------

struct LoadCase {
    const char* name;
    std::optional<std::string> file;
    std::wstring label;
    int check;
    bool autoRun;
    std::string savedOnExit;  // with the box left as loaded
};

// Cases print as their names in test listings.
template <typename Case>
void PrintCase(const Case& c, std::ostream* out) { *out << c.name; }
void PrintTo(const LoadCase& c, std::ostream* out) { PrintCase(c, out); }

class LoadTest : public testing::TestWithParam<LoadCase> {};

TEST_P(LoadTest, AppliesTheFileAndWritesItBackBesideTheExe) {
    const LoadCase& c = GetParam();
    Fixture f(c.file);
    f.form.Form_Load();
    EXPECT_EQ(f.platform.label, c.label);
    EXPECT_EQ(f.platform.check, c.check);
    EXPECT_EQ(f.platform.timers[TimerId::Timer1], c.autoRun);
    EXPECT_EQ(f.EndWith(&Form1::mnuPlikKoniec_Click), c.savedOnExit);
    EXPECT_EQ(f.platform.cwd, f.platform.exeFolder);
}

const std::string kHuge(settings::kMaxFileBytes + 1, ' ');
const std::string kLongPath(300, 'a');

INSTANTIATE_TEST_SUITE_P(
    Files, LoadTest,
    testing::Values(
        LoadCase{"Missing", std::nullopt, L"Program:", 0, false, "\"\"\r\n#FALSE#\r\n"},
        LoadCase{"Ticked", "\"C:\\Gry\\gra.exe\"\r\n#TRUE#\r\n", L"Program: C:\\Gry\\gra.exe", 1, true,
                 "\"C:\\Gry\\gra.exe\"\r\n#TRUE#\r\n"},
        LoadCase{"Unticked", "\"C:\\a b, c\\x.exe\"\r\n#FALSE#\r\n", L"Program: C:\\a b, c\\x.exe", 0, false,
                 "\"C:\\a b, c\\x.exe\"\r\n#FALSE#\r\n"},
        LoadCase{"PolishLetters", "\"C:\\Pi\xB3ki\\ga\xB9.exe\"\r\n#FALSE#\r\n", L"Program: C:\\Piłki\\gaą.exe", 0,
                 false, "\"C:\\Pi\xB3ki\\ga\xB9.exe\"\r\n#FALSE#\r\n"},
        LoadCase{"BlanksAndBareLineFeeds", "  \"C:\\x.exe\"\n\t#TRUE#", L"Program: C:\\x.exe", 1, true,
                 "\"C:\\x.exe\"\r\n#TRUE#\r\n"},
        // The path is kept although the flag fails, so it is written back.
        LoadCase{"OnlyThePath", "\"C:\\x.exe\"\r\n", L"Program:", 0, false, "\"C:\\x.exe\"\r\n#FALSE#\r\n"},
        LoadCase{"UnknownFlag", "\"C:\\x.exe\"\r\n#YES#\r\n", L"Program:", 0, false,
                 "\"C:\\x.exe\"\r\n#FALSE#\r\n"},
        LoadCase{"Empty", "", L"Program:", 0, false, "\"\"\r\n#FALSE#\r\n"},
        LoadCase{"NoClosingQuote", "\"C:\\x.exe\r\n#TRUE#\r\n", L"Program:", 0, false, "\"\"\r\n#FALSE#\r\n"},
        LoadCase{"Unquoted", "C:\\x.exe\r\n#TRUE#\r\n", L"Program:", 0, false, "\"\"\r\n#FALSE#\r\n"},
        LoadCase{"NulInPath", std::string("\"C:\\x\0.exe\"\r\n#TRUE#\r\n", 20), L"Program:", 0, false,
                 "\"\"\r\n#FALSE#\r\n"},
        LoadCase{"Binary", std::string("\x00\xFF\x7F\"\x01", 5), L"Program:", 0, false, "\"\"\r\n#FALSE#\r\n"},
        LoadCase{"TooLongPath", "\"" + kLongPath + "\"\r\n#TRUE#\r\n", L"Program:", 0, false,
                 "\"\"\r\n#FALSE#\r\n"},
        LoadCase{"Huge", "\"C:\\x.exe\"\r\n#TRUE#\r\n" + kHuge, L"Program:", 0, false, "\"\"\r\n#FALSE#\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Unload, CloseBoxAndKoniecWriteTheSameBytesWithTheBoxAsItIsNow) {
    for (auto handler : {&Form1::Form_Unload, &Form1::mnuPlikKoniec_Click}) {
        Fixture f("\"C:\\x.exe\"\r\n#FALSE#\r\n");
        f.form.Form_Load();
        f.platform.check = 1;
        EXPECT_EQ(f.EndWith(handler), "\"C:\\x.exe\"\r\n#TRUE#\r\n");
    }
}

TEST(Unload, StoresAPathOutsideTheCodePageByItsShortNameOrRefusesIt) {
    const std::string file = "\"C:\\x.exe\"\r\n#FALSE#\r\n";
    Fixture withShort(file), withoutShort(file);
    for (Fixture* f : {&withShort, &withoutShort}) {
        f->platform.dialogAnswer = L"C:\\日本\\app.exe";
        f->form.Command2_Click();
    }
    withShort.platform.shortNames[L"C:\\日本\\app.exe"] = L"C:\\B6E5~1\\app.exe";
    EXPECT_EQ(withShort.EndWith(&Form1::Form_Unload), "\"C:\\B6E5~1\\app.exe\"\r\n#FALSE#\r\n");
    // No short name: the failure is reported and nothing wrong is written.
    EXPECT_THROW(withoutShort.form.Form_Unload(), SystemError);
    EXPECT_EQ(withoutShort.platform.SettingsIn(withoutShort.platform.exeFolder), nullptr);
}

TEST(Settings, ParseStopsAtTheFirstBadItem) {
    struct Case {
        std::string bytes;
        std::optional<std::string> path;
        std::optional<bool> flag;
    } cases[] = {
        {"\"\"\r\n#FALSE#\r\n", "", false},
        {"\"x\" trailing\r\n#TRUE# extra\r\nmore lines\r\n", "x", true},
        {"\"x\"", "x", std::nullopt},
        {"\"x\"\r\n#TRUE", "x", std::nullopt},
        {"\"" + std::string(settings::kMaxPathChars, 'p') + "\"\r\n#TRUE#", std::string(settings::kMaxPathChars, 'p'),
         true},
        {"\"x\r\n\"\r\n#TRUE#", std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        const settings::Parsed parsed = settings::Parse(c.bytes);
        EXPECT_EQ(parsed.path, c.path) << c.bytes;
        EXPECT_EQ(parsed.autoStart, c.flag) << c.bytes;
    }
}

// ---- Launch -------------------------------------------------------------------------------

TEST(Run, StartsTheProgramInItsOwnFolderMinimisedAndWatchesIt) {
    Fixture f("\"C:\\Program Files\\Gra\\gra.exe\"\r\n#FALSE#\r\n");
    f.form.Form_Load();
    f.form.Command1_Click();
    EXPECT_FALSE(f.platform.enabled);
    EXPECT_TRUE(f.platform.isMinimised);
    EXPECT_TRUE(f.platform.timers[TimerId::Timer2]);
    EXPECT_EQ(f.platform.log, (std::vector<std::wstring>{L"cd C:\\Program Files\\Gra\\",
                                                          L"start C:\\Program Files\\Gra\\gra.exe show 1",
                                                          L"open 1024 0 1"}));
}

TEST(Run, WithNoProgramDoesNothingFromEveryRoad) {
    for (auto handler : {&Form1::Command1_Click, &Form1::mnuPlikUruchom_Click, &Form1::Timer1_Timer}) {
        Fixture f;
        f.form.Form_Load();
        f.platform.timers[TimerId::Timer1] = true;
        (f.form.*handler)();
        EXPECT_TRUE(f.platform.enabled);
        EXPECT_FALSE(f.platform.isMinimised);
        EXPECT_TRUE(f.platform.log.empty());
        EXPECT_FALSE(f.platform.timers[TimerId::Timer2]);
    }
}

TEST(Run, AutoRunFiresOnceThenRuns) {
    Fixture f("\"C:\\x.exe\"\r\n#TRUE#\r\n");
    f.form.Form_Load();
    f.form.Timer1_Timer();
    EXPECT_FALSE(f.platform.timers[TimerId::Timer1]);
    EXPECT_TRUE(f.platform.timers[TimerId::Timer2]);
    EXPECT_EQ(f.platform.log.back(), L"open 1024 0 1");
}

TEST(Run, ABareFileNameStartsInTheCurrentFolder) {
    Fixture f("\"gra.exe\"\r\n#FALSE#\r\n");
    f.form.Form_Load();
    f.form.Command1_Click();
    EXPECT_EQ(f.platform.log.front(), L"start gra.exe show 1");
    EXPECT_EQ(f.platform.cwd, L"D:\\start\\");
}

struct StartFailureCase {
    const char* name;
    bool missingFolder;
    bool earlierWatch;
};

void PrintTo(const StartFailureCase& c, std::ostream* out) { PrintCase(c, out); }

class StartFailure : public testing::TestWithParam<StartFailureCase> {};

TEST_P(StartFailure, IsReportedAndEverythingStaysAsItWas) {
    const StartFailureCase& c = GetParam();
    Fixture f("\"C:\\Gone\\x.exe\"\r\n#FALSE#\r\n");
    f.form.Form_Load();
    if (c.earlierWatch) {
        f.form.Command1_Click();
        f.platform.cwd = L"D:\\start\\";
    }
    const bool enabled = f.platform.enabled, minimised = f.platform.isMinimised;
    const auto timers = f.platform.timers;
    if (c.missingFolder) f.platform.missingFolders = {L"C:\\Gone\\"};
    else f.platform.startError = L"Nie można odnaleźć pliku.";
    f.platform.log.clear();

    f.form.mnuPlikUruchom_Click();
    EXPECT_EQ(f.platform.enabled, enabled);
    EXPECT_EQ(f.platform.isMinimised, minimised);
    EXPECT_EQ(f.platform.timers, timers);
    EXPECT_EQ(f.platform.cwd, L"D:\\start\\");
    ASSERT_FALSE(f.platform.log.empty());
    EXPECT_EQ(f.platform.log.back().rfind(L"error Czuwajnik: Nie można uruchomić programu:\r\nC:\\Gone\\x.exe", 0), 0u);
    // The earlier program is still watched, and the settings are still saved at the end.
    f.platform.exitCodes = {0};
    EXPECT_EQ(f.EndWith(c.earlierWatch ? &Form1::Timer2_Timer : &Form1::mnuPlikKoniec_Click),
              "\"C:\\Gone\\x.exe\"\r\n#FALSE#\r\n");
}

INSTANTIATE_TEST_SUITE_P(Roads, StartFailure,
                         testing::Values(StartFailureCase{"MissingFile", false, false},
                                         StartFailureCase{"MissingFolder", true, false},
                                         StartFailureCase{"DuringAWatch", false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FilePath, IsTheTextUpToTheLastBackslash) {
    FakePlatform platform;
    Form1 form(platform);
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"C:\\Gry\\gra.exe", L"C:\\Gry\\"},
        {L"gra.exe", L""},
        {L"C:\\Gry\\", L"C:\\Gry\\"},
        {L"\\gra.exe", L"\\"},
        {L"", L""},
        {L"C:/a/b.exe", L""},
        {std::wstring(40000, L'a') + L"\\b.exe", std::wstring(40000, L'a') + L"\\"},
    };
    for (const auto& [path, folder] : cases) EXPECT_EQ(form.FilePath(path), folder) << path.size();
}

// ---- Watch and pulse ----------------------------------------------------------------------

struct PulseCase {
    const char* name;
    std::vector<float> ticks;   // time of day at each tick, program running
    std::vector<int> pulsesAfter;  // cumulative pulses after each tick
};

void PrintTo(const PulseCase& c, std::ostream* out) { PrintCase(c, out); }

class Pulse : public testing::TestWithParam<PulseCase> {};

TEST_P(Pulse, OnePressAndReleasePerWindow) {
    const PulseCase& c = GetParam();
    Fixture f("\"C:\\x.exe\"\r\n#FALSE#\r\n");
    f.form.Form_Load();
    f.form.Command1_Click();
    f.platform.exitCodes = {259};
    for (std::size_t i = 0; i < c.ticks.size(); ++i) {
        f.platform.clock = {c.ticks[i]};
        f.form.Timer2_Timer();
        const std::vector<std::wstring> keys = f.Keys();
        ASSERT_EQ(keys.size(), 2u * c.pulsesAfter[i]) << "tick " << i << " at " << c.ticks[i];
    }
    for (std::size_t k = 0; k < f.Keys().size(); k += 2) {
        EXPECT_EQ(f.Keys()[k], L"key 145 0 0 0");
        EXPECT_EQ(f.Keys()[k + 1], L"key 145 0 2 0");
    }
}

constexpr float At(int h, int m, float s) { return h * 3600.0f + m * 60.0f + s; }

INSTANTIATE_TEST_SUITE_P(
    Clock, Pulse,
    testing::Values(
        PulseCase{"AroundTenOhThree",
                  {At(10, 2, 59.4f), At(10, 2, 59.6f), At(10, 2, 59.8f), At(10, 3, 0.0f), At(10, 3, 0.4f),
                   At(10, 3, 0.6f)},
                  {0, 1, 1, 1, 1, 1}},
        PulseCase{"LatchRearmsForTheNextWindow",
                  {At(10, 3, 0.0f), At(10, 3, 0.6f), At(10, 5, 59.6f), At(10, 6, 0.2f)},
                  {1, 1, 2, 2}},
        // Halves go to the even neighbour: 179.5 -> 180, 180.5 -> 180, 181.5 -> 182.
        PulseCase{"HalvesToEven", {179.5f, 180.5f, 181.5f, 359.5f, 360.5f}, {1, 1, 1, 2, 2}},
        PulseCase{"MidnightIsOneWindow",
                  {At(23, 59, 59.4f), At(23, 59, 59.5f), At(23, 59, 59.8f), 0.0f, 0.4f, 0.6f},
                  {0, 1, 1, 1, 1, 1}},
        PulseCase{"StartedInsideAWindow", {0.0f, 0.2f, 1.0f, 179.6f}, {1, 1, 1, 2}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Watch, EndsWhenTheProgramHasEndedAndSavesTheSettings) {
    Fixture f("\"C:\\Gry\\gra.exe\"\r\n#TRUE#\r\n");
    f.form.Form_Load();
    f.form.Timer1_Timer();
    f.platform.check = 0;
    f.platform.exitCodes = {259, 259, 3};
    f.platform.clock = {At(9, 0, 30.0f)};
    f.form.Timer2_Timer();
    f.form.Timer2_Timer();
    EXPECT_EQ(f.EndWith(&Form1::Timer2_Timer), "\"C:\\Gry\\gra.exe\"\r\n#FALSE#\r\n");
    const auto& log = f.platform.log;
    EXPECT_EQ(std::vector<std::wstring>(log.end() - 4, log.end()),
              (std::vector<std::wstring>{L"close 1001", L"cd C:\\Narzedzia\\",
                                         L"write C:\\Narzedzia\\ustawienia.dat", L"end"}));
}

TEST(Watch, AProgramReturning259IsTakenForRunning) {
    Fixture f("\"C:\\x.exe\"\r\n#FALSE#\r\n");
    f.form.Form_Load();
    f.form.Command1_Click();
    f.platform.exitCodes = {259};
    f.platform.clock = {At(12, 0, 30.0f)};
    for (int i = 0; i < 10; ++i) f.form.Timer2_Timer();
    EXPECT_EQ(f.platform.log.back(), L"open 1024 0 1");
}

TEST(Watch, AFirstLaunchThatCouldNotBeOpenedEndsAtTheFirstTick) {
    Fixture f("\"C:\\x.exe\"\r\n#FALSE#\r\n");
    f.form.Form_Load();
    f.platform.openFails = true;
    f.form.Command1_Click();
    f.platform.exitCodes = {259};
    EXPECT_EQ(f.EndWith(&Form1::Timer2_Timer), "\"C:\\x.exe\"\r\n#FALSE#\r\n");
}

TEST(Watch, ASecondLaunchReplacesTheHandleAndAFailedOpenKeepsPulsing) {
    Fixture f("\"C:\\x.exe\"\r\n#FALSE#\r\n");
    f.form.Form_Load();
    f.form.Command1_Click();
    f.platform.exitCodes = {259};
    f.platform.clock = {At(8, 0, 30.0f)};
    f.form.Timer2_Timer();

    f.platform.openFails = true;
    f.form.mnuPlikUruchom_Click();
    EXPECT_EQ(f.platform.log.back(), L"close 1001");
    EXPECT_EQ(f.platform.log[f.platform.log.size() - 3], L"start C:\\x.exe show 1");
    // Every status read now fails; the 259 read before keeps the watch pulsing.
    f.platform.exitCodes.clear();
    f.platform.clock = {At(8, 3, 0.0f)};
    f.form.Timer2_Timer();
    EXPECT_EQ(f.Keys().size(), 2u);
}

// ---- Program selection --------------------------------------------------------------------

TEST(Browse, FillsTheDialogRequest) {
    Fixture f;
    f.form.Form_Load();
    f.form.Command2_Click();
    const OpenFileRequest& r = f.platform.lastRequest;
    EXPECT_EQ(r.title, L"Wybierz program.");
    EXPECT_EQ(r.filter, std::wstring(L"Programy (*.exe)\0*.exe\0Wszystkie pliki (*.*)\0*.*\0", 49));
    EXPECT_EQ(r.filterIndex, 1u);
    EXPECT_EQ(r.flags, 6148u);
    EXPECT_EQ(r.file, std::wstring(255, L'\0'));
    EXPECT_EQ(r.maxFile, 255u);
    EXPECT_EQ(r.maxFileTitle, 255u);
    EXPECT_EQ(r.initialDir, L"C:\\");
    EXPECT_EQ(r.defExt, L"*.*");
}

TEST(Browse, OkChoosesAndMovesTheFolderCancelClearsAndKeepsIt) {
    Fixture f("\"C:\\stary.exe\"\r\n#FALSE#\r\n");
    f.form.Form_Load();
    struct Step {
        std::optional<std::wstring> answer;
        std::wstring label;
        std::wstring nextInitialDir;
    } steps[] = {
        {L"D:\\Moje programy\\Gra, 2\\gra.exe", L"Program: D:\\Moje programy\\Gra, 2\\gra.exe",
         L"D:\\Moje programy\\Gra, 2\\"},
        {std::nullopt, L"Program: ", L"D:\\Moje programy\\Gra, 2\\"},
        {L"E:\\x.exe", L"Program: E:\\x.exe", L"E:\\"},
    };
    for (const Step& step : steps) {
        f.platform.dialogAnswer = step.answer;
        f.form.mnuPlikPrzegladaj_Click();
        EXPECT_EQ(f.platform.label, step.label);
        f.form.Command2_Click();
        EXPECT_EQ(f.platform.lastRequest.initialDir, step.nextInitialDir);
        f.form.Command2_Click();  // chooses the same again, so the next step starts from it
    }
    // Cancel empties the program: Run does nothing and the empty path is saved.
    f.platform.dialogAnswer.reset();
    f.form.Command2_Click();
    f.form.Command1_Click();
    EXPECT_TRUE(f.platform.enabled);
    EXPECT_EQ(f.EndWith(&Form1::mnuPlikKoniec_Click), "\"\"\r\n#FALSE#\r\n");
}

TEST(Browse, OnlyModeOneShowsTheDialogAndABufferWithoutNulGivesNothing) {
    Fixture f;
    f.form.Form_Load();
    std::wstring initDir = L"C:\\";
    f.platform.dialogAnswer = L"C:\\x.exe";
    EXPECT_EQ(Form1TestAccess::ShowOpenDialog(f.form, 2, initDir), L"");
    EXPECT_EQ(f.platform.dialogs, 0);
    f.platform.dialogAnswer = std::wstring(254, L'x');
    EXPECT_EQ(Form1TestAccess::ShowOpenDialog(f.form, 1, initDir), std::wstring(254, L'x'));
    EXPECT_EQ(initDir, L"");
}

// ---- Layout -------------------------------------------------------------------------------

TEST(Layout, MenuCaptionsHaveUniqueAccessKeysAndNoShortcuts) {
    for (const layout::MenuItem& item : layout::kMenu) {
        if (item.caption == nullptr) continue;
        const std::wstring caption = item.caption;
        EXPECT_EQ(caption.find(L'\t'), std::wstring::npos) << item.name;
        EXPECT_LE(std::count(caption.begin(), caption.end(), L'&'), 1) << item.name;
        for (const layout::MenuItem& other : layout::kMenu)
            if (&other != &item) EXPECT_NE(other.id, item.id);
    }
}

}  // namespace
}  // namespace czuwajnik
