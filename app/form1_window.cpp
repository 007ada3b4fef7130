#include "app/form1.h"
#include "app/layout.h"
#include "settings/settings.h"

namespace czuwajnik {
namespace {

const std::wstring kAboutText =
    L"Czuwajnik 1.1\r\n"
    L"Projekt Czuwajnik, otwarte oprogramowanie\r\n"
    L"https://www.example.org/czuwajnik\r\n"
    L"czuwajnik@example.org";

}  // namespace

void Form1::Form_Load() {
    sInitDir = L"C:\\";
    if (const Command command = ReadCommandLine(platform_.commandLine()); command.kind != Command::Kind::Window) {
        RunCommand(command);
        return;
    }
    // Whatever fails from here on just ends the load: the window shows as far as it got.
    try {
        if (!ReadSettings()) return;
        platform_.setCheckValue(bAutoStart ? 1 : 0);
        platform_.setLabelText(layout::kLabelPrefix + sProgram);
        if (platform_.checkValue() == 1) platform_.setTimer(TimerId::Timer1, layout::IntervalOf(TimerId::Timer1), true);
    } catch (const SystemError&) {
    }
}

// A settings file that is there but cannot be read is said once and left as it is: nothing is
// saved over what it holds.
bool Form1::ReadSettings() {
    try {
        return settings::Read(platform_, sProgram, bAutoStart);
    } catch (const SystemError& error) {
        bSettingsUnread = true;
        platform_.messageBox(error.reason() + L"\r\n\r\nUstawienia nie zostaną zapisane przy zakończeniu.",
                             layout::kCaption, true);
        return false;
    }
}

void Form1::Form_Unload() {
    if (bCommandLine) {
        // Nothing is saved: the caller learns how the program ended, or 259 while it runs on.
        if (const std::optional<std::int32_t> ended = platform_.exitCode(hProcess)) lExitCode = *ended;
        platform_.endProcess(static_cast<std::uint32_t>(lExitCode));
    }
    if (!bSettingsUnread) {
        // Run may have moved the current directory; the settings belong beside the utility.
        platform_.setCurrentDirectory(platform_.ownFolder());
        settings::Write(platform_, sProgram, platform_.checkValue() != 0);
    }
    platform_.endProcess(0);
}

void Form1::mnuPlikKoniec_Click() { Form_Unload(); }

void Form1::mnuPomocOP_Click() { platform_.messageBox(kAboutText, layout::kCaption, false); }

}  // namespace czuwajnik
