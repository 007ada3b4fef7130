#pragma once
// What Czuwajnik's own command line asks of it. With none it opens its window; otherwise it
// starts a program with arguments, or watches a running process or the processes of some
// programs, and ends with an exit code.
//
//   czuwajnik.exe PROGRAM [ARGUMENTS]   czuwajnik.exe /pid N   czuwajnik.exe /name NAME [NAME ...]
//   czuwajnik.exe /?

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace czuwajnik {

struct Command {
    enum class Kind { Window, Run, Watch, WatchNamed, Help, Refuse };
    Kind kind = Kind::Window;
    std::wstring program;    // Run: the program as given, its quotes taken off
    std::wstring arguments;  // Run: all that follows it, exactly as written
    std::uint32_t pid = 0;   // Watch: the process
    std::vector<std::wstring> names;  // WatchNamed: programs' file names, each with an extension
    std::wstring problem;    // Refuse: what is wrong, for the user
};

// The text after the utility's own name, as Windows hands it over; any text gives a Command.
Command ReadCommandLine(std::wstring_view text);

}  // namespace czuwajnik
