#include "settings/settings.h"

#include <algorithm>

namespace czuwajnik::settings {
namespace {

constexpr std::string_view kTrue = "#TRUE#";
constexpr std::string_view kFalse = "#FALSE#";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20; }

void SkipBlanks(std::string_view text, std::size_t& pos) {
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
}

// A quoted item; the rest of its line is skipped.
std::optional<std::string> ReadQuoted(std::string_view text, std::size_t& pos) {
    SkipBlanks(text, pos);
    if (pos >= text.size() || text[pos] != '"') return std::nullopt;
    const std::size_t close = text.find('"', pos + 1);
    if (close == std::string_view::npos) return std::nullopt;
    const std::string_view item = text.substr(pos + 1, close - pos - 1);
    if (std::any_of(item.begin(), item.end(), IsControl)) return std::nullopt;
    const std::size_t lineEnd = text.find('\n', close);
    pos = lineEnd == std::string_view::npos ? text.size() : lineEnd + 1;
    return std::string(item);
}

std::optional<bool> ReadFlag(std::string_view text, std::size_t& pos) {
    SkipBlanks(text, pos);
    std::size_t end = pos;
    while (end < text.size() && !IsBlank(text[end]) && text[end] != '\r' && text[end] != '\n') ++end;
    const std::string_view word = text.substr(pos, end - pos);
    pos = end;
    if (word == kTrue) return true;
    if (word == kFalse) return false;
    return std::nullopt;
}

}  // namespace

Parsed Parse(std::string_view bytes) {
    Parsed parsed;
    if (bytes.size() > kMaxFileBytes) return parsed;
    std::size_t pos = 0;
    parsed.path = ReadQuoted(bytes, pos);
    if (parsed.path) parsed.autoStart = ReadFlag(bytes, pos);
    return parsed;
}

std::string Format(std::string_view ansiPath, bool autoStart) {
    std::string text;
    text.append("\"").append(ansiPath).append("\"\r\n");
    text.append(autoStart ? kTrue : kFalse).append("\r\n");
    return text;
}

std::optional<bool> Read(Platform& platform, const std::wstring& file, std::wstring& path, bool& autoStart) {
    const std::optional<std::string> bytes = platform.readFile(file, kMaxFileBytes);
    if (!bytes) return std::nullopt;
    const Parsed parsed = Parse(*bytes);
    if (!parsed.path) return false;
    std::wstring decoded = platform.fromAnsi(*parsed.path);
    if (decoded.size() > kMaxPathChars) return false;
    path = std::move(decoded);
    if (!parsed.autoStart) return false;
    autoStart = *parsed.autoStart;
    return true;
}

void Write(Platform& platform, const std::wstring& path, bool autoStart) {
    std::optional<std::string> ansi = platform.toAnsi(path);
    if (!ansi) {
        // The short form names the same file in plain ASCII, where the volume keeps one.
        if (const std::optional<std::wstring> shortForm = platform.shortPath(path)) ansi = platform.toAnsi(*shortForm);
    }
    if (!ansi)
        throw SystemError(L"Ścieżki programu nie można zapisać w pliku " + kFileName +
                          L": zawiera znaki spoza strony kodowej systemu, a plik nie ma krótkiej nazwy.\r\n" + path);
    // Counted as the reader counts it, so the file written is one the next start reads.
    if (platform.fromAnsi(*ansi).size() > kMaxPathChars)
        throw SystemError(L"Ścieżki programu nie można zapisać w pliku " + kFileName + L": ma więcej niż " +
                          std::to_wstring(kMaxPathChars) + L" znaków.\r\n" + path);
    platform.replaceFile(kFileName, Format(*ansi, autoStart));
}

}  // namespace czuwajnik::settings
