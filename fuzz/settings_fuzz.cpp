// Arbitrary bytes as the settings file, and as a path for Form1::FilePath. A property that
// fails prints what broke and aborts, so libFuzzer keeps the input.

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/form1.h"
#include "settings/settings.h"
#include "tests/fake_platform.h"

using namespace czuwajnik;

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
    // The folder of a path: a prefix of it that ends at its last backslash, or nothing.
    std::wstring units;
    for (std::size_t i = 0; i + 1 < size; i += 2) units += static_cast<wchar_t>(data[i] | data[i + 1] << 8);
    test::FakePlatform fake;
    const std::wstring folder = Form1(fake).FilePath(units);
    CHECK(units.compare(0, folder.size(), folder) == 0 && units.find(L'\\', folder.size()) == std::wstring::npos);
    CHECK(folder.empty() || folder.back() == L'\\');
    return 0;
}
