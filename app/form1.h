#pragma once
// Czuwajnik's only window: it owns all state and handles every event.

#include <cstdint>
#include <string>

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

private:
    friend struct Form1TestAccess;

    void RunProgram(const std::wstring& sPath, bool bWatch);
    void ApplyPulseRule();
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
};

}  // namespace czuwajnik
