#pragma once
// What Czuwajnik's own command line asks of it. With none it opens its window; otherwise it
// starts a program with arguments, or watches a running process, and ends with its exit code.
//
//   czuwajnik.exe PROGRAM [ARGUMENTS]   czuwajnik.exe /pid N   czuwajnik.exe /?

#include <cstdint>
#include <string>
#include <string_view>

namespace czuwajnik {

struct Command {
    enum class Kind { Window, Run, Watch, Help, Refuse };
    Kind kind = Kind::Window;
    std::wstring program;    // Run: the program as given, its quotes taken off
    std::wstring arguments;  // Run: all that follows it, exactly as written
    std::uint32_t pid = 0;   // Watch: the process
    std::wstring problem;    // Refuse: what is wrong, for the user
};

// The text after the utility's own name, as Windows hands it over; any text gives a Command.
Command ReadCommandLine(std::wstring_view text);

}  // namespace czuwajnik
