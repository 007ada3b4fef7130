// Lifecycle: the load, with the settings read or the command line run, the end, with the settings
// saved, and the About box.

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

// From the start folder, or where it holds none (a shortcut's "Start in", a console, a scheduled
// task), from beside the utility, where the end writes. A file that is there but cannot be read is
// said once; where it is the one the end writes, it is left as it is: nothing is saved over it.
bool Form1::ReadSettings() {
    const std::wstring sOwn = platform_.ownFolder() + settings::kFileName;
    for (const std::wstring& sFile : {settings::kFileName, sOwn}) {
        try {
            if (const std::optional<bool> read = settings::Read(platform_, sFile, sProgram, bAutoStart)) return *read;
        } catch (const SystemError& error) {
            const std::wstring sRead = platform_.fullPath(sFile);
            bSettingsUnread = platform_.sameFileName(sRead, sOwn);
            platform_.messageBox(error.reason() + (bSettingsUnread
                                                       ? L"\r\n\r\nUstawienia nie zostaną zapisane przy zakończeniu."
                                                       : L"\r\n\r\nCzuwajnik użyje pliku " + sOwn + L"."),
                                 layout::kCaption, true);
            if (bSettingsUnread) return false;
        }
    }
    return false;
}

void Form1::Form_Unload() {
    if (bCommandLine) return EndCommandLine(Ending::Closed);  // nothing is saved
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
