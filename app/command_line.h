#pragma once
// What Czuwajnik's own command line asks of it. With none it opens its window; otherwise it
// starts a program with arguments, or watches a running process or the processes of some
// programs, or only keeps the computer awake for a while, and ends with an exit code.
//
//   czuwajnik.exe [/for DURATION | /until HH:MM] [/then sleep|hibernate|shutdown] [/system] [/ac]
//                 [PROGRAM [ARGUMENTS] | /pid N | /name NAME [NAME ...]]
//   czuwajnik.exe /?

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace czuwajnik {

struct Command {
    enum class Kind { Window, Run, Watch, WatchNamed, KeepAwake, Help, Refuse };
    Kind kind = Kind::Window;
    std::wstring program;    // Run: the program as given, its quotes taken off
    std::wstring arguments;  // Run: all that follows it, exactly as written
    std::uint32_t pid = 0;   // Watch: the process
    std::vector<std::wstring> names;  // WatchNamed: programs' file names, as given
    std::wstring problem;    // Refuse: what is wrong, for the user
    // The options before the job (KeepAwake has only them).
    std::optional<std::uint32_t> forSeconds;   // /for: at most this long
    std::optional<std::uint32_t> untilMinute;  // /until: at most until this minute of the day
    std::optional<PowerAction> then;           // /then: what the system does once the job is done
    bool system = false;                       // /system: the computer kept awake, not the screen
    bool mainsOnly = false;                    // /ac: kept awake only while on mains power
};

// The text after the utility's own name, as Windows hands it over; any text gives a Command.
Command ReadCommandLine(std::wstring_view text);

std::wstring Usage();  // as /? shows it

// The first character of a script's arguments that cmd would not hand on as text: one of
// & | < > ^ outside double quotes (each quote opens or closes them), a % anywhere, a line break.
std::optional<wchar_t> CommandCharacter(std::wstring_view arguments);

}  // namespace czuwajnik
