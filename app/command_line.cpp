#include "app/command_line.h"

#include <algorithm>
#include <cwctype>

namespace czuwajnik {
namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

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

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

Command Refused(std::wstring problem) { return {Command::Kind::Refuse, L"", L"", 0, {}, std::move(problem)}; }

// "/pid N": N a process id, 1 to 4294967295 in decimal digits, and nothing after it.
Command ReadWatch(std::wstring_view line, const Word& option) {
    const Word number = NextWord(line, option.end);
    if (number.written.empty()) return Refused(L"Po " + option.text + L" brak identyfikatora procesu.");
    std::uint64_t pid = 0;  // past UINT32_MAX, or not a digit, it stays past it
    for (const wchar_t c : number.text)
        pid = IsDigit(c) && pid <= UINT32_MAX ? pid * 10 + static_cast<unsigned>(c - L'0') : UINT32_MAX + 1ull;
    if (pid == 0 || pid > UINT32_MAX)
        return Refused(L"To nie jest identyfikator procesu: " + std::wstring(number.written));
    const Word extra = NextWord(line, number.end);
    if (!extra.written.empty()) return Refused(L"Zbędny argument: " + std::wstring(extra.written));
    return {Command::Kind::Watch, L"", L"", static_cast<std::uint32_t>(pid), {}, L""};
}

// "/name NAME [NAME ...]": each NAME a program's file name, ".exe" added where it has no extension.
Command ReadNames(std::wstring_view line, const Word& option) {
    Command command{Command::Kind::WatchNamed, L"", L"", 0, {}, L""};
    for (Word name = NextWord(line, option.end); !name.written.empty(); name = NextWord(line, name.end)) {
        const bool control = std::any_of(name.text.begin(), name.text.end(), [](wchar_t c) { return c < L' '; });
        if (name.text.empty() || control || name.text.find_first_of(L"\\/:*?\"<>|") != std::wstring::npos)
            return Refused(L"To nie jest nazwa pliku programu: " + std::wstring(name.written));
        command.names.push_back(name.text.find(L'.') == std::wstring::npos ? name.text + L".exe" : name.text);
    }
    if (command.names.empty()) return Refused(L"Po " + option.text + L" brak nazwy programu.");
    return command;
}

}  // namespace

Command ReadCommandLine(std::wstring_view line) {
    const Word first = NextWord(line, 0);
    if (first.written.empty()) return {};
    if (first.written[0] != L'/' && first.written[0] != L'-') {
        if (first.text.empty()) return Refused(L"Nie podano nazwy programu.");
        return {Command::Kind::Run, first.text, std::wstring(line.substr(first.end)), 0, {}, L""};
    }
    std::wstring name = first.text;
    std::transform(name.begin(), name.end(), name.begin(), [](wchar_t c) { return std::towlower(c); });
    if (name == L"/?" || name == L"-?" || name == L"/h" || name == L"-h" || name == L"--help")
        return {Command::Kind::Help, L"", L"", 0, {}, L""};
    if (name == L"/pid" || name == L"-pid") return ReadWatch(line, first);
    if (name == L"/name" || name == L"-name") return ReadNames(line, first);
    return Refused(L"Nieznana opcja: " + first.text);
}

}  // namespace czuwajnik
