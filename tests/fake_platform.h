#pragma once
// A platform that logs everything the utility asks of the system, as one line each, and
// plays back scripted answers.

#include <algorithm>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace czuwajnik::test {

struct ProcessEnded {};  // thrown by endProcess, so a test sees the end

inline std::wstring Widen(const std::string& bytes) { return std::wstring(bytes.begin(), bytes.end()); }

// The next of a script's answers; the last one stays.
template <typename T>
T Next(std::deque<T>& answers) {
    const T next = answers.front();
    if (answers.size() > 1) answers.pop_front();
    return next;
}

// What the system answers.
struct Script {
    std::deque<std::int32_t> exitCodes;  // one per status read; empty: reads fail
    std::deque<float> clock{1.0f};       // one per read
    std::deque<std::optional<std::wstring>> answers{std::nullopt};  // the dialog's; nullopt: Cancel
    int starts = 99, opens = 99;                      // how many program starts and process opens succeed
    std::wstring missingFolder;
    std::map<std::wstring, std::wstring> shortNames;
};

class FakePlatform : public Platform, public Script {
public:
    std::vector<std::wstring> log;
    std::wstring cwd = L"D:\\start\\";
    int check = 0;
    bool enabled = true, iconic = false;
    std::map<std::wstring, std::string> files;  // by full path

    void setLabelText(const std::wstring& text) override { log.push_back(L"label " + text); }
    bool runEnabled() override { return enabled; }
    void setRunEnabled(bool value) override { log.push_back((enabled = value) ? L"Uruchom on" : L"Uruchom off"); }
    int checkValue() override { return check; }
    void setCheckValue(int value) override { log.push_back(L"check " + std::to_wstring(check = value)); }
    bool minimised() override { return iconic; }
    void setMinimised(bool value) override { log.push_back((iconic = value) ? L"minimise" : L"restore"); }
    void setTimer(TimerId timer, unsigned ms, bool on) override {
        log.push_back(L"Timer" + std::to_wstring(static_cast<int>(timer)) + (on ? L" " + std::to_wstring(ms) : L" off"));
    }
    void messageBox(const std::wstring& text, const std::wstring& title, bool error) override {
        log.push_back((error ? L"error " : L"message ") + title + L": " + text);
    }
    bool openFileDialog(OpenFileRequest& r) override {
        std::wstring filter = r.filter;
        std::replace(filter.begin(), filter.end(), L'\0', L'|');
        log.push_back(L"dialog " + r.title + L" at " + r.initialDir + L" " + filter + L" " + std::to_wstring(r.filterIndex) +
                      L" " + std::to_wstring(r.flags) + L" " + r.defExt + L" " + r.file.c_str() + L"/" +
                      std::to_wstring(r.file.size()) + L"/" + std::to_wstring(r.maxFile) + L"/" +
                      std::to_wstring(r.maxFileTitle));
        const std::optional<std::wstring> answer = Next(answers);
        if (answer) r.file = (*answer + std::wstring(r.maxFile, L'\0')).substr(0, r.maxFile);
        return answer.has_value();
    }
    [[noreturn]] void endProcess() override {
        log.push_back(L"end");
        throw ProcessEnded{};
    }

    std::wstring currentDirectory() override { return cwd; }
    void setCurrentDirectory(const std::wstring& folder) override {
        if (folder == missingFolder) throw SystemError(L"no such folder");
        log.push_back(L"cd " + (cwd = folder));
    }
    std::wstring ownFolder() override { return L"C:\\Narzedzia\\"; }
    std::uint32_t startProgram(const std::wstring& path, int showCode) override {
        if (starts-- <= 0) throw SystemError(L"no such file");
        log.push_back(L"start " + path + L" show " + std::to_wstring(showCode));
        return ++pids;
    }
    Handle openProcess(std::uint32_t access, bool inherit, std::uint32_t pid) override {
        log.push_back(L"open " + std::to_wstring(access) + L" " + std::to_wstring(inherit) + L" " +
                      std::to_wstring(pid));
        return opens-- > 0 ? 1000 + pid : 0;
    }
    bool getExitCodeProcess(Handle process, std::int32_t& exitCode) override {
        if (process == 0 || exitCodes.empty()) return false;
        exitCode = Next(exitCodes);
        return true;
    }
    void closeHandle(Handle handle) override { log.push_back(L"close " + std::to_wstring(handle)); }
    void keybdEvent(std::uint8_t vk, std::uint8_t scan, std::uint32_t flags, std::uintptr_t extra) override {
        log.push_back(L"key " + std::to_wstring(vk) + L" " + std::to_wstring(scan) + L" " + std::to_wstring(flags) +
                      L" " + std::to_wstring(extra));
    }
    float timeOfDay() override { return Next(clock); }

    std::optional<std::string> readFile(const std::wstring& name, std::size_t maxBytes) override {
        if (!files.count(cwd + name)) return std::nullopt;
        return files[cwd + name].substr(0, maxBytes + 1);
    }
    void replaceFile(const std::wstring& name, const std::string& bytes) override {
        log.push_back(L"write " + cwd + name + L" " + Widen(bytes));
        files[cwd + name] = bytes;
    }
    // A small Windows-1250: ASCII and two Polish letters; anything else has no byte.
    std::optional<std::string> toAnsi(const std::wstring& text) override {
        std::string bytes;
        for (wchar_t c : text) {
            if (c >= 0x80 && c != L'ą' && c != L'ł') return std::nullopt;
            bytes += c == L'ą' ? '\xB9' : c == L'ł' ? '\xB3' : static_cast<char>(c);
        }
        return bytes;
    }
    std::wstring fromAnsi(const std::string& bytes) override {
        std::wstring text;
        for (char b : bytes)
            text += b == '\xB9' ? L'ą' : b == '\xB3' ? L'ł' : static_cast<wchar_t>(static_cast<unsigned char>(b));
        return text;
    }
    std::optional<std::wstring> shortPath(const std::wstring& path) override {
        if (!shortNames.count(path)) return std::nullopt;
        return shortNames[path];
    }

private:
    std::uint32_t pids = 0;
};

}  // namespace czuwajnik::test
