#pragma once
// A platform that logs everything the utility asks of the system, as one line each, and
// plays back scripted answers.

#include <algorithm>
#include <deque>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace czuwajnik::test {

struct ProcessEnded {};  // thrown by endProcess, so a test sees the end

inline std::wstring Widen(const std::string& bytes) {
    std::wstring text;
    for (char byte : bytes) text += static_cast<wchar_t>(static_cast<unsigned char>(byte));
    return text;
}

// The next of a script's answers; the last one stays.
template <typename T>
T Next(std::deque<T>& answers) {
    const T next = answers.front();
    if (answers.size() > 1) answers.pop_front();
    return next;
}

// What the system answers.
struct Script {
    int runs = 0, code = 0;         // status reads that find the watched process running; its exit code after them
    std::deque<float> clock{1.0f};  // one per read
    std::deque<std::optional<std::wstring>> answers{std::nullopt};  // the dialog's; nullopt: Cancel
    int starts = 99, opens = 99;                      // how many program starts and process opens succeed
    std::map<std::wstring, std::wstring> shortNames;
    bool twoBytes = false;  // the code page holds a letter in two bytes, as 932 does
    std::wstring commandLine;  // the utility's arguments
    std::map<std::wstring, std::wstring> env, shortcuts;  // the variables; the shortcuts' targets
    std::set<std::wstring> programs = {L"C:\\Gry\\gra.exe", L"D:\\start\\hra.exe"};  // the files besides the settings
    std::vector<std::vector<ProcessEntry>> seconds{{}};  // what runs, second by second; the last stays
    std::map<std::wstring, std::string> files;  // by full path
    std::set<std::wstring> held;  // files there, but held: they cannot be read
    bool waits = true;            // a process can be waited on; else only its exit status tells
    std::int64_t local = 0;       // the local time when the watch's seconds begin
    std::uint32_t refuses = 0;    // the error code with which the system refuses to power down
    std::string power;            // by second: 'b' on battery, 'm' on mains, '?' unknown; the last stays
};

class FakePlatform : public Platform, public Script {
public:
    std::vector<std::wstring> log;
    std::wstring cwd = L"D:\\start\\";
    int check = 0;
    bool enabled = true, iconic = false;

    // One line: the words, separated by blanks.
    template <typename First, typename... Rest>
    void Log(const First& first, const Rest&... rest) {
        std::wostringstream line;
        line << first;
        ((line << L' ' << rest), ...);
        log.push_back(line.str());
    }

    void setLabelText(const std::wstring& text) override { Log(L"label", text); }
    bool runEnabled() override { return enabled; }
    void setRunEnabled(bool value) override { Log(L"Uruchom", (enabled = value) ? L"on" : L"off"); }
    void disableChoosing() override { Log(L"choosing off"); }
    int checkValue() override { return check; }
    void setCheckValue(int value) override { Log(L"check", check = value); }
    bool minimised() override { return iconic; }
    void setMinimised(bool value) override { Log((iconic = value) ? L"minimise" : L"restore"); }
    void setTimer(TimerId timer, unsigned ms, bool on) override {
        Log(L"Timer" + std::to_wstring(static_cast<int>(timer)), on ? std::to_wstring(ms) : L"off");
    }
    void messageBox(const std::wstring& text, const std::wstring& title, bool error) override {
        Log(error ? L"error" : L"message", title + L":", text);
    }
    bool openFileDialog(OpenFileRequest& r) override {
        std::wstring filter = r.filter;
        std::replace(filter.begin(), filter.end(), L'\0', L'|');
        Log(L"dialog", r.title, L"at", r.initialDir, filter, r.filterIndex, r.flags, r.defExt, r.file.c_str(),
            r.file.size(), r.maxFile, r.maxFileTitle);
        const std::optional<std::wstring> answer = Next(answers);
        if (answer) r.file = (*answer + std::wstring(r.maxFile, L'\0')).substr(0, r.maxFile);
        return answer.has_value();
    }
    void showCountdown(const std::wstring& text, const std::wstring& act) override { Log(L"countdown", text, act); }
    void closeCountdown() override { Log(L"countdown closed"); }
    [[noreturn]] void endProcess(std::uint32_t exitCode) override {
        Log(L"end", exitCode);
        throw ProcessEnded{};
    }

    std::wstring commandLine() override { return Script::commandLine; }
    std::wstring currentDirectory() override { return cwd; }
    void setCurrentDirectory(const std::wstring& folder) override { Log(L"cd", cwd = folder); }
    std::wstring ownFolder() override { return L"C:\\Narzedzia\\"; }
    std::wstring fullPath(const std::wstring& name) override { return Full(name); }
    bool isFile(const std::wstring& name) override { return programs.count(name) || files.count(name); }
    bool sameFileName(const std::wstring& a, const std::wstring& b) override { return Upper(a) == Upper(b); }
    std::wstring systemFolder() override { return L"C:\\Windows\\system32\\"; }
    std::wstring environment(const std::wstring& name) override { return env.count(name) ? env[name] : L""; }
    bool searchesCurrentFolder(const std::wstring&) override {
        return !env.count(L"NoDefaultCurrentDirectoryInExePath");
    }
    std::optional<std::wstring> shortcutTarget(const std::wstring& shortcut) override {
        return shortcuts.count(shortcut) ? std::optional(shortcuts[shortcut]) : std::nullopt;
    }
    std::uint32_t startProgram(const std::wstring& program, const std::wstring& arguments, int showCode,
                               Streams streams) override {
        if (starts-- <= 0) throw SystemError(L"no such file");  // with no code, it must not end as a success
        Log(L"start", program + arguments, L"show", showCode, streams == Streams::Own ? L"own" : L"caller's");
        return ++pids;
    }
    Handle openProcess(std::uint32_t access, bool inherit, std::uint32_t pid) override {
        Log(L"open", access, inherit, pid);
        return opens-- > 0 ? 1000 + pid : 0;
    }
    SystemError lastError() override { return SystemError(L"no such process", 87); }
    SystemError systemError(std::uint32_t n) override { return SystemError(L"error " + std::to_wstring(n), n); }
    std::wstring processPath(Handle process) override { return L"C:\\Gry\\" + std::to_wstring(process) + L".exe"; }
    std::size_t second = 0;
    const std::vector<ProcessEntry>& Now() const { return seconds[std::min(second, seconds.size() - 1)]; }
    // A process listed by name runs while it is listed; the one started, while reads remain in `runs`.
    std::optional<bool> hasEnded(Handle process) override {
        const auto listed = [process](const std::vector<ProcessEntry>& running) {
            return std::any_of(running.begin(), running.end(), [&](auto& p) { return 1000 + p.pid == process; });
        };
        if (!waits || process == 0) return std::nullopt;
        if (std::any_of(seconds.begin(), seconds.end(), listed)) return !listed(Now());
        return runs-- <= 0;
    }
    std::optional<std::int32_t> exitCode(Handle process) override {
        return process == 0 ? std::nullopt : std::optional(!waits && runs-- > 0 ? 259 : code);
    }
    void closeHandle(Handle handle) override { Log(L"close", handle); }
    std::uint32_t ownProcessId() override { return 4242; }
    // This second's processes of those names (in any case, the system's part).
    std::vector<ProcessEntry> processesNamed(const std::vector<std::wstring>& names) override {
        if (!Now().empty() && Now()[0].pid == 0) throw SystemError(L"no list");  // a second whose list cannot be read
        std::vector<ProcessEntry> named;
        for (const ProcessEntry& process : Now())
            if (std::find(names.begin(), names.end(), process.name) != names.end()) named.push_back(process);
        return named;
    }
    void keepSystemAwake(bool awake) override { Log(L"awake", awake ? L"on" : L"off"); }
    std::optional<bool> onBattery() override {
        const char now = power.empty() ? 'm' : power[std::min(second, power.size() - 1)];
        return now == '?' ? std::nullopt : std::optional(now == 'b');
    }
    void powerDown(PowerAction action) override {
        Log(L"power", static_cast<int>(action));
        if (refuses != 0) throw SystemError(L"refused", refuses);
    }
    void keybdEvent(std::uint8_t vk, std::uint8_t scan, std::uint32_t flags, std::uintptr_t extra) override {
        Log(L"key", +vk, +scan, flags, extra);
    }
    float timeOfDay() override { return Next(clock); }
    std::uint64_t milliseconds() override { return 1000 * second; }
    std::size_t asleep = 0;  // of those seconds
    std::uint64_t awakeMilliseconds() override { return 1000 * (second - asleep); }
    std::int64_t localTime() override { return local + static_cast<std::int64_t>(second); }

    std::optional<std::string> readFile(const std::wstring& name, std::size_t maxBytes) override {
        if (held.count(Full(name)) && files.count(Full(name))) throw SystemError(L"held (code 32)", 32);
        return files.count(Full(name)) ? std::optional(files[Full(name)].substr(0, maxBytes + 1)) : std::nullopt;
    }
    void replaceFile(const std::wstring& name, const std::string& bytes) override {
        Log(L"write", cwd + name, Widen(bytes));
        files[cwd + name] = bytes;
    }
    // A code page of the first 256 characters, or (twoBytes) of ASCII and two bytes, 0x80 and
    // up, for each character below U+4000; anything else has no bytes.
    std::optional<std::string> toAnsi(const std::wstring& text) override {
        std::string bytes;
        for (const wchar_t c : text) {
            if (c < (twoBytes ? 0x80 : 0x100)) bytes += static_cast<char>(c);
            else if (twoBytes && c < 0x4000) bytes += {static_cast<char>(0x80 | c >> 7), static_cast<char>(0x80 | c)};
            else return std::nullopt;
        }
        return bytes;
    }
    std::wstring fromAnsi(const std::string& bytes) override {
        std::wstring text = Widen(bytes);
        if (!twoBytes) return text;
        for (std::size_t i = 0; i + 1 < text.size(); ++i) {
            if (text[i] < 0x80) continue;
            text.replace(i, 2, 1, static_cast<wchar_t>((text[i] & 0x7F) << 7 | (text[i + 1] & 0x7F)));
        }
        return text;
    }
    std::optional<std::wstring> shortPath(const std::wstring& path) override {
        return shortNames.count(path) ? std::optional(shortNames[path]) : std::nullopt;
    }

private:
    static std::wstring Upper(std::wstring name) {  // ASCII letters, as all these tests' names are
        for (wchar_t& c : name) c = c >= L'a' && c <= L'z' ? c - 32 : c;
        return name;
    }
    std::wstring Full(const std::wstring& name) const { return name.find(L':') == name.npos ? cwd + name : name; }
    std::uint32_t pids = 0;
};

}  // namespace czuwajnik::test
