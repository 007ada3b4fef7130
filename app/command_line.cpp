// The command line's reader: what the text after the utility's name asks for, and the usage.

#include "app/command_line.h"

#include <algorithm>
#include <cwctype>

namespace czuwajnik {
namespace {

constexpr std::uint64_t kMaxSeconds = 7 * 24 * 3600;

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

std::wstring Lower(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return std::towlower(c); });
    return text;
}

struct Word {
    std::wstring_view written;  // as it stands in the command line; empty at its end
    std::size_t end;            // where it ends there
    std::wstring text;          // its quotes taken off
};

// The word after `pos` and any blanks: up to the first blank outside double quotes, which
// only group (a path holds no quote), as Windows reads a program's name.
Word NextWord(std::wstring_view line, std::size_t pos) {
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    Word word{{}, pos, L""};
    for (bool quoted = false; word.end < line.size() && (quoted || !IsBlank(line[word.end])); ++word.end) {
        if (line[word.end] == L'"') quoted = !quoted;
        else word.text += line[word.end];
    }
    word.written = line.substr(pos, word.end - pos);
    return word;
}

// "/pid N": N a process id, 1 to 4294967295 in decimal digits, and nothing after it.
std::wstring ReadWatch(std::wstring_view line, const Word& option, Command& command) {
    const Word number = NextWord(line, option.end);
    if (number.written.empty()) return L"Po " + option.text + L" brak identyfikatora procesu.";
    std::uint64_t pid = 0;  // past UINT32_MAX, or not a digit, it stays past it
    for (const wchar_t c : number.text)
        pid = IsDigit(c) && pid <= UINT32_MAX ? pid * 10 + static_cast<unsigned>(c - L'0') : UINT32_MAX + 1ull;
    if (pid == 0 || pid > UINT32_MAX) return L"To nie jest identyfikator procesu: " + std::wstring(number.written);
    const Word extra = NextWord(line, number.end);
    if (!extra.written.empty()) return L"Zbędny argument: " + std::wstring(extra.written);
    command.kind = Command::Kind::Watch;
    command.pid = static_cast<std::uint32_t>(pid);
    return L"";
}

// "/name NAME [NAME ...]": each NAME a program's file name.
std::wstring ReadNames(std::wstring_view line, const Word& option, Command& command) {
    command.kind = Command::Kind::WatchNamed;
    for (Word name = NextWord(line, option.end); !name.written.empty(); name = NextWord(line, name.end)) {
        const bool control = std::any_of(name.text.begin(), name.text.end(), [](wchar_t c) { return c < L' '; });
        if (name.text.empty() || control || name.text.find_first_of(L"\\/:*?\"<>|") != std::wstring::npos)
            return L"To nie jest nazwa pliku programu: " + std::wstring(name.written);
        command.names.push_back(name.text);
    }
    if (command.names.empty()) return L"Po " + option.text + L" brak nazwy programu.";
    return L"";
}

// "45s", "90m", "2h", "1h30m": whole hours, minutes and seconds, in that order, 1 s to 7 days.
std::optional<std::uint32_t> Duration(const std::wstring& text) {
    std::uint64_t seconds = 0;
    std::size_t at = 0;
    for (const auto& [unit, length] : {std::pair{L'h', 3600u}, {L'm', 60u}, {L's', 1u}}) {
        std::size_t end = at;
        std::uint64_t count = 0;
        for (; end < text.size() && IsDigit(text[end]) && count <= kMaxSeconds; ++end)
            count = count * 10 + static_cast<std::uint64_t>(text[end] - L'0');
        if (end == at || end == text.size() || static_cast<wchar_t>(std::towlower(text[end])) != unit) continue;
        seconds += count * length;
        at = end + 1;
    }
    if (at != text.size() || seconds == 0 || seconds > kMaxSeconds) return std::nullopt;
    return static_cast<std::uint32_t>(seconds);
}

// "H:MM" or "HH:MM", 0:00 to 23:59, as the minute of the day.
std::optional<std::uint32_t> MinuteOfDay(const std::wstring& text) {
    const std::size_t colon = text.find(L':');
    if (colon < 1 || colon > 2 || text.size() != colon + 3) return std::nullopt;
    std::uint32_t hour = 0, minute = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i == colon) continue;
        if (!IsDigit(text[i])) return std::nullopt;
        std::uint32_t& part = i < colon ? hour : minute;
        part = part * 10 + static_cast<std::uint32_t>(text[i] - L'0');
    }
    if (hour > 23 || minute > 59) return std::nullopt;
    return hour * 60 + minute;
}

// The value of /for, /until or /then.
std::wstring ReadValue(const std::wstring& option, const Word& value, Command& command) {
    const std::wstring written(value.written);
    if (option == L"for" && !(command.forSeconds = Duration(value.text)))
        return L"To nie jest czas trwania: " + written + L" (np. 45s, 90m, 2h, 1h30m; od 1 s do 7 dni).";
    if (option == L"until" && !(command.untilMinute = MinuteOfDay(value.text)))
        return L"To nie jest godzina: " + written + L" (GG:MM, np. 7:30 albo 17:30).";
    const std::pair<const wchar_t*, PowerAction> actions[] = {
        {L"sleep", PowerAction::Sleep}, {L"hibernate", PowerAction::Hibernate}, {L"shutdown", PowerAction::ShutDown}};
    for (const auto& [name, action] : actions)
        if (option == L"then" && Lower(value.text) == name) command.then = action;
    if (option == L"then" && !command.then)
        return L"Nieznane działanie: " + written + L" (po /then: sleep, hibernate albo shutdown).";
    return L"";
}

// Fills `command`; returns what is wrong, or nothing.
std::wstring Read(std::wstring_view line, Command& command) {
    std::vector<std::wstring> seen;
    Word word = NextWord(line, 0);
    for (; !word.written.empty() && (word.written[0] == L'/' || word.written[0] == L'-');
         word = NextWord(line, word.end)) {
        const std::wstring option = Lower(word.text.substr(1));
        if (option == L"?" || option == L"h" || option == L"-help") {
            command.kind = Command::Kind::Help;
            return L"";
        }
        if (option == L"pid") return ReadWatch(line, word, command);
        if (option == L"name") return ReadNames(line, word, command);
        const bool flag = option == L"system" || option == L"ac";
        if (option != L"for" && option != L"until" && option != L"then" && !flag)
            return L"Nieznana opcja: " + word.text;
        if (std::count(seen.begin(), seen.end(), option) != 0) return L"Opcja podana dwa razy: " + word.text;
        seen.push_back(option);
        if (std::count(seen.begin(), seen.end(), L"for") + std::count(seen.begin(), seen.end(), L"until") == 2)
            return L"Podaj /for albo /until, nie obie opcje.";
        command.system = command.system || option == L"system";
        command.mainsOnly = command.mainsOnly || option == L"ac";
        if (flag) continue;
        const Word value = NextWord(line, word.end);
        if (value.written.empty()) return L"Po " + word.text + L" brak wartości.";
        if (const std::wstring problem = ReadValue(option, value, command); !problem.empty()) return problem;
        word = value;
    }
    if (!word.written.empty()) {
        if (word.text.empty()) return L"Nie podano nazwy programu.";
        command.kind = Command::Kind::Run;
        command.program = word.text;
        command.arguments = line.substr(word.end);
    } else if (command.forSeconds || command.untilMinute) {
        command.kind = Command::Kind::KeepAwake;
    } else if (!seen.empty()) {
        return L"Podano opcje, ale ani programu (albo /pid, /name), ani czasu (/for, /until).";
    }
    return L"";
}

}  // namespace

Command ReadCommandLine(std::wstring_view line) {
    Command command;
    if (std::wstring problem = Read(line, command); !problem.empty()) {
        command = Command{};
        command.kind = Command::Kind::Refuse;
        command.problem = std::move(problem);
    }
    return command;
}

std::wstring Usage() {
    return
        L"Użycie:\r\n"
        L"czuwajnik [OPCJE] PROGRAM [ARGUMENTY]\r\n"
        L"    uruchamia PROGRAM z argumentami w bieżącym folderze i czuwa, dopóki działa;\r\n"
        L"czuwajnik [OPCJE] /pid N\r\n"
        L"    czuwa, dopóki działa uruchomiony już proces N;\r\n"
        L"czuwajnik [OPCJE] /name NAZWA [NAZWA ...]\r\n"
        L"    czeka na program o tej nazwie pliku (np. ffmpeg.exe) i czuwa, dopóki działa choć jedna\r\n"
        L"    jego kopia, także uruchomiona później; kończy się kodem 0, gdy przez 5 s nie działa żadna;\r\n"
        L"czuwajnik /for CZAS | /until GG:MM [OPCJE]\r\n"
        L"    czuwa do końca limitu i kończy się kodem 0;\r\n"
        L"czuwajnik /?\r\n"
        L"    pokazuje tę pomoc.\r\n"
        L"\r\n"
        L"OPCJE, przed programem, każda najwyżej raz:\r\n"
        L"/for CZAS (45s, 90m, 2h, 1h30m; do 7 dni) albo /until GG:MM (najbliższa taka godzina)\r\n"
        L"    czuwa najwyżej do końca limitu; program, który wtedy jeszcze działa, działa dalej (kod 1460);\r\n"
        L"/then sleep | hibernate | shutdown\r\n"
        L"    po końcu programu (lub limitu bez programu) usypia, hibernuje albo wyłącza komputer\r\n"
        L"    po 60 s odliczania, które można przerwać;\r\n"
        L"/system\r\n"
        L"    nie pozwala zasnąć komputerowi, ale ekran może zgasnąć i się zablokować;\r\n"
        L"/ac\r\n"
        L"    czuwa tylko przy zasilaniu z sieci; na baterii decyduje plan zasilania.\r\n"
        L"\r\n"
        L"Czuwajnik kończy się kodem wyjścia programu, a zamknięty wcześniej kodem 259. Jego własne kody "
        L"(87: błędny wiersz polecenia, 2: nie znaleziono programu, 1460: minął limit, inne kody błędów "
        L"systemu) program może mieć także: w skrypcie sprawdzaj, czy kod to 0. "
        L"Pliku ustawienia.dat wtedy nie wczytuje ani nie zapisuje.";
}

std::optional<wchar_t> CommandCharacter(std::wstring_view arguments) {
    bool quoted = false;
    for (const wchar_t c : arguments) {
        if (c == L'"') quoted = !quoted;
        else if (c == L'%' || c == L'\r' || c == L'\n' ||
                 (!quoted && std::wstring_view(L"&|<>^").find(c) != std::wstring_view::npos))
            return c;
    }
    return std::nullopt;
}

}  // namespace czuwajnik
