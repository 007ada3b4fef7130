// Arbitrary bytes as the settings file, and as UTF-16 text as the utility's command line. A
// property that fails prints what broke and aborts, so libFuzzer keeps the input.

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <string>

#include "app/command_line.h"
#include "settings/settings.h"

using namespace czuwajnik;

std::wstring Unquoted(std::wstring text) {
    text.erase(std::remove(text.begin(), text.end(), L'"'), text.end());
    return text;
}

#define CHECK(property) \
    ((property) ? (void)0 : (std::fprintf(stderr, "line %d: property failed: %s\n", __LINE__, #property), std::abort()))

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const settings::Parsed parsed = settings::Parse(bytes);
    CHECK(parsed.path || !parsed.autoStart);
    CHECK(size <= settings::kMaxFileBytes || !parsed.path);
    if (const std::optional<std::string> path = parsed.path) {
        // What stands between the first pair of quotes, after leading blanks; no control characters.
        CHECK(std::none_of(path->begin(), path->end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }));
        CHECK(bytes.compare(bytes.find_first_not_of(" \t"), path->size() + 2, '"' + *path + '"') == 0);
        // As the utility writes it, it reads back the same.
        const bool flag = parsed.autoStart.value_or(size % 2 == 1);
        const settings::Parsed again = settings::Parse(settings::Format(*path, flag));
        CHECK(again.path == path && again.autoStart == flag);
    }
    // Any command line gives a command; a run names the program its last word before the
    // arguments names, quotes taken off, and hands on all that follows that word as it stands.
    std::wstring units;
    for (std::size_t i = 0; i + 1 < size; i += 2) units += static_cast<wchar_t>(data[i] | data[i + 1] << 8);
    const Command command = ReadCommandLine(units);
    const std::size_t first = units.find_first_not_of(L" \t");
    CHECK((command.kind == Command::Kind::Window) == (first == std::wstring::npos));
    if (command.kind == Command::Kind::Run) {
        const std::size_t rest = units.size() - command.arguments.size();
        CHECK(command.arguments.size() < units.size() && units.compare(rest, units.npos, command.arguments) == 0);
        CHECK(command.arguments.empty() || command.arguments[0] == L' ' || command.arguments[0] == L'\t');
        const std::wstring before = Unquoted(units.substr(0, rest));
        CHECK(!command.program.empty() && before.size() >= command.program.size() &&
              before.compare(before.size() - command.program.size(), std::wstring::npos, command.program) == 0);
    }
    // A limit is one of the two, within its range; a limit alone keeps awake, and nothing else does.
    CHECK(!(command.forSeconds && command.untilMinute));
    CHECK(command.forSeconds.value_or(1) >= 1 && command.forSeconds.value_or(1) <= 7 * 24 * 3600);
    CHECK(command.untilMinute.value_or(0) < 24 * 60);
    CHECK(command.kind != Command::Kind::KeepAwake || command.forSeconds || command.untilMinute);
    if (command.kind == Command::Kind::Help || command.kind == Command::Kind::Watch ||
        command.kind == Command::Kind::WatchNamed || command.kind == Command::Kind::KeepAwake)
        CHECK(units[first] == L'/' || units[first] == L'-');
    // Each name is a file name the text holds.
    for (const std::wstring& name : command.names)
        CHECK(!name.empty() && name.find_first_of(L"\\/:*?\"<>|") == std::wstring::npos &&
              Unquoted(units).find(name) != std::wstring::npos);
    if (command.kind == Command::Kind::Watch)
        CHECK(command.pid != 0 && Unquoted(units).find(std::to_wstring(command.pid)) != std::wstring::npos);
    CHECK((command.kind == Command::Kind::Refuse) == !command.problem.empty());
    return 0;
}
