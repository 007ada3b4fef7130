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
    // Whatever fails from here on just ends the load: the window shows as far as it got.
    try {
        if (!settings::Read(platform_, sProgram, bAutoStart)) return;
        platform_.setCheckValue(bAutoStart ? 1 : 0);
        platform_.setLabelText(layout::kLabelPrefix + sProgram);
        if (platform_.checkValue() == 1) platform_.setTimer(TimerId::Timer1, layout::IntervalOf(TimerId::Timer1), true);
    } catch (const SystemError&) {
    }
}

void Form1::Form_Unload() {
    // Run may have moved the current directory; the settings belong beside the utility.
    platform_.setCurrentDirectory(platform_.ownFolder());
    settings::Write(platform_, sProgram, platform_.checkValue() != 0);
    platform_.endProcess();
}

void Form1::mnuPlikKoniec_Click() { Form_Unload(); }

void Form1::mnuPomocOP_Click() { platform_.messageBox(kAboutText, layout::kCaption, false); }

}  // namespace czuwajnik
