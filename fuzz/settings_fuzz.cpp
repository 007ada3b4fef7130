// Arbitrary bytes as the settings file, and as a path for Form1::FilePath.
// Every property that fails prints what broke and aborts, so libFuzzer keeps the input.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/form1.h"
#include "settings/settings.h"
#include "tests/fake_platform.h"

using namespace czuwajnik;

namespace {

[[noreturn]] void Fail(const char* what, int line) {
    std::fprintf(stderr, "settings_fuzz.cpp:%d: property failed: %s\n", line, what);
    std::abort();
}
#define CHECK(cond) ((cond) ? (void)0 : Fail(#cond, __LINE__))

bool IsControl(wchar_t c) { return c < 0x20; }

// fromAnsi never yields this character, so a path still holding it was not filled in.
const std::wstring kUnset(1, L'\x2603');

void CheckParse(std::string_view bytes, const settings::Parsed& parsed) {
    CHECK(parsed.path || !parsed.autoStart);
    if (bytes.size() > settings::kMaxFileBytes) CHECK(!parsed.path && !parsed.autoStart);
    // Whatever it starts with, a file one byte over the limit is not read at all.
    if (bytes.size() <= settings::kMaxFileBytes) {
        std::string over(bytes);
        over.resize(settings::kMaxFileBytes + 1, '\n');
        const settings::Parsed none = settings::Parse(over);
        CHECK(!none.path && !none.autoStart);
    }
    if (!parsed.path) return;

    const std::string& path = *parsed.path;
    CHECK(path.size() <= settings::kMaxPathChars);
    CHECK(std::none_of(path.begin(), path.end(), [](char c) { return IsControl(static_cast<unsigned char>(c)) || c == '"'; }));
    // The path is exactly what stands between the first pair of quotes, after leading blanks.
    const std::size_t open = bytes.find_first_not_of(" \t");
    CHECK(open != std::string_view::npos && bytes.substr(open, path.size() + 2) == "\"" + path + "\"");

    for (const bool flag : {false, true}) {
        const std::string text = settings::Format(path, flag);
        CHECK(text == "\"" + path + "\"\r\n" + (flag ? "#TRUE#" : "#FALSE#") + "\r\n");
        const settings::Parsed again = settings::Parse(text);
        CHECK(again.path == path && again.autoStart == flag);
    }
}

// Write stores the path in the code page, or throws and leaves the file alone when it cannot;
// what it stored reads back as the same path and flag.
void CheckWriteRead(test::FakePlatform& fake, const std::wstring& path, bool flag) {
    const std::wstring file = fake.cwd + settings::kFileName;
    const auto before = fake.files;
    const std::optional<std::string> ansi = fake.toAnsi(path);
    try {
        settings::Write(fake, path, flag);
    } catch (const SystemError&) {
        CHECK(!ansi && fake.files == before);
        return;
    }
    CHECK(ansi && fake.files[file] == settings::Format(*ansi, flag));
    std::wstring back = kUnset;
    bool backFlag = !flag;
    CHECK(settings::Read(fake, back, backFlag));
    CHECK(back == path && backFlag == flag);
}

void CheckReadAgreesWithParse(std::string_view bytes, const settings::Parsed& parsed) {
    test::FakePlatform fake;
    fake.files[fake.cwd + settings::kFileName] = std::string(bytes);
    const bool both = parsed.path && parsed.autoStart;
    for (const bool initial : {false, true}) {
        std::wstring path = kUnset;
        bool flag = initial;
        const bool ok = settings::Read(fake, path, flag);
        CHECK(ok == both);
        CHECK(path == (parsed.path ? fake.fromAnsi(*parsed.path) : kUnset));
        CHECK(flag == (both ? *parsed.autoStart : initial));
    }
    if (parsed.path) CheckWriteRead(fake, fake.fromAnsi(*parsed.path), parsed.autoStart.value_or(bytes.size() % 2));
}

void CheckFilePath(const Form1& form, const std::wstring& file) {
    const std::wstring folder = form.FilePath(file);
    CHECK(folder.size() <= file.size() && file.compare(0, folder.size(), folder) == 0);
    CHECK(folder.empty() || folder.back() == L'\\');
    CHECK(file.find(L'\\', folder.size()) == std::wstring::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const settings::Parsed parsed = settings::Parse(bytes);
    CheckParse(bytes, parsed);
    CheckReadAgreesWithParse(bytes, parsed);

    // The same bytes as wide text: each byte widened, and little-endian UTF-16 units.
    std::wstring widened, units;
    for (std::size_t i = 0; i < size; ++i) widened += static_cast<wchar_t>(data[i]);
    for (std::size_t i = 0; i + 1 < size; i += 2) units += static_cast<wchar_t>(data[i] | data[i + 1] << 8);
    test::FakePlatform fake;
    const Form1 form(fake);
    CheckFilePath(form, widened);
    CheckFilePath(form, units);

    // A path the open-file dialog could return (no control characters or quotes, not too long)
    // survives Write and Read, whichever characters it holds.
    if (units.size() <= settings::kMaxPathChars &&
        std::none_of(units.begin(), units.end(), [](wchar_t c) { return IsControl(c) || c == L'"'; }))
        CheckWriteRead(fake, units, size % 2 == 1);
    return 0;
}
