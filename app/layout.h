#pragma once
// The window's look and its event routing, as data: the Win32 layer builds the
// window from these tables and sends every click to the handler named here.

#include <cstdint>

#include "app/form1.h"

namespace czuwajnik::layout {

using Handler = void (Form1::*)();

inline constexpr const wchar_t* kCaption = L"Czuwajnik";
inline constexpr const wchar_t* kClassName = L"Czuwajnik.Form1";
inline constexpr const wchar_t* kLabelPrefix = L"Program: ";  // before the program path
inline constexpr int kClientWidthTwips = 5460;
inline constexpr int kClientHeightTwips = 2400;
inline constexpr int kTwipsPerInch = 1440;

enum class Kind { Button, DefaultButton, Label, CheckBox };

struct Control {
    std::uint16_t id;
    const wchar_t* name;
    Kind kind;
    const wchar_t* text;
    int left, top, width, height;  // twips, relative to the client area
    Handler click;
};

// In tab order.
inline constexpr Control kControls[] = {
    {101, L"Command1", Kind::Button, L"Uruchom", 1680, 1560, 2175, 495, &Form1::Command1_Click},
    {102, L"Label1", Kind::Label, L"Program:", 120, 360, 3615, 255, nullptr},
    {103, L"Command2", Kind::Button, L"Przeglądaj...", 4080, 240, 1215, 375, &Form1::Command2_Click},
    {104, L"Check1", Kind::CheckBox, L"Uruchamiaj automatycznie", 120, 840, 2295, 255, nullptr},
};
inline constexpr std::uint16_t kCommand1 = 101, kLabel1 = 102, kCommand2 = 103, kCheck1 = 104;

// The countdown before the computer sleeps or shuts down, a window of its own with the same
// caption. "Anuluj" is the default button and takes the focus, so a stray Enter cancels; its id is
// the one Esc presses. The button that acts at once has no id a key presses (IDOK is 1).
inline constexpr const wchar_t* kCountdownClassName = L"Czuwajnik.Odliczanie";
inline constexpr int kCountdownWidthTwips = 5460;
inline constexpr int kCountdownHeightTwips = 1440;
inline constexpr Control kCountdown[] = {
    {2, L"cmdAnuluj", Kind::DefaultButton, L"Anuluj", 3645, 840, 1575, 435, &Form1::cmdAnuluj_Click},
    {402, L"cmdTeraz", Kind::Button, L"", 1680, 840, 1815, 435, &Form1::cmdTeraz_Click},
    {401, L"lblOdliczanie", Kind::Label, L"", 240, 240, 4980, 375, nullptr},
};
inline constexpr std::uint16_t kCmdAnuluj = 2, kCmdTeraz = 402, kLblOdliczanie = 401;

struct MenuItem {
    std::uint16_t id;
    const wchar_t* name;
    std::uint16_t parent;   // 0 for the menu bar
    const wchar_t* caption; // nullptr for a separator
    Handler click;          // nullptr for a top-level menu or a separator
};

inline constexpr MenuItem kMenu[] = {
    {200, L"mnuPlik", 0, L"&Plik", nullptr},
    {201, L"mnuPlikPrzegladaj", 200, L"&Przeglądaj...", &Form1::mnuPlikPrzegladaj_Click},
    {202, L"mnuPlikUruchom", 200, L"&Uruchom", &Form1::mnuPlikUruchom_Click},
    {203, L"mnuKreska", 200, nullptr, nullptr},
    {204, L"mnuPlikKoniec", 200, L"&Koniec", &Form1::mnuPlikKoniec_Click},
    {300, L"mnuPomoc", 0, L"Po&moc", nullptr},
    {301, L"mnuPomocOP", 300, L"O programie...", &Form1::mnuPomocOP_Click},
};
inline constexpr std::uint16_t kMnuPlikPrzegladaj = 201, kMnuPlikUruchom = 202;

struct Timer {
    TimerId id;
    unsigned intervalMs;
    Handler tick;
};

inline constexpr Timer kTimers[] = {
    {TimerId::Timer1, 1, &Form1::Timer1_Timer},
    {TimerId::Timer2, 200, &Form1::Timer2_Timer},
};

constexpr unsigned IntervalOf(TimerId id) {
    for (const Timer& timer : kTimers)
        if (timer.id == id) return timer.intervalMs;
    return 0;
}

}  // namespace czuwajnik::layout
