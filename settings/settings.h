#pragma once
// "ustawienia.dat": two CR LF lines, the program path in double quotes and the
// auto-run flag as #TRUE# or #FALSE#, in the system's ANSI code page.

#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace czuwajnik::settings {

inline const std::wstring kFileName = L"ustawienia.dat";

// A valid file is far smaller; anything larger is not ours.
inline constexpr std::size_t kMaxFileBytes = 4096;
// The longest path Windows opens without the long-path prefix, in characters, however many
// bytes the code page gives each of them in the file.
inline constexpr std::size_t kMaxPathChars = 259;

struct Parsed {
    std::optional<std::string> path;  // ANSI bytes, when the first item was read
    std::optional<bool> autoStart;    // when the second item was read as well
};

Parsed Parse(std::string_view bytes);
std::string Format(std::string_view ansiPath, bool autoStart);

// Reads `file`: nullopt where there is none. `path` is filled as soon as the first item is read
// (a path of more than kMaxPathChars characters is not), so a failure on the flag leaves it
// filled. True when both items were read.
std::optional<bool> Read(Platform& platform, const std::wstring& file, std::wstring& path, bool& autoStart);

// Writes the file in the current directory. A path the code page cannot hold is stored
// in its short form; when it has none, or the path is longer than Read accepts,
// SystemError is thrown and nothing is written.
void Write(Platform& platform, const std::wstring& path, bool autoStart);

}  // namespace czuwajnik::settings
