#pragma once
// A platform that records every call and plays back scripted clocks, exit codes,
// start failures and dialog answers.

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace czuwajnik::test {

struct ProcessEnded {};  // thrown by endProcess so a test can see the end

class FakePlatform : public Platform {
public:
    std::vector<std::wstring> log;  // the calls that reach the system, in order

    // Window state.
    std::wstring label = L"Program:";
    bool enabled = true;
    int check = 0;
    bool isMinimised = false;
    std::map<TimerId, bool> timers;

    // Folders and files (keyed by full path).
    std::wstring cwd = L"D:\\start\\";
    std::wstring exeFolder = L"C:\\Narzedzia\\";
    std::map<std::wstring, std::string> files;
    std::map<std::wstring, std::wstring> shortNames;

    // Scripts.
    std::deque<float> clock;               // one value per timeOfDay call
    std::deque<std::int32_t> exitCodes;    // one per successful status read; empty = read fails
    std::wstring startError;               // non-empty: the next start fails with this reason
    std::vector<std::wstring> missingFolders;
    bool openFails = false;
    std::optional<std::wstring> dialogAnswer;  // nullopt = Cancel
    OpenFileRequest lastRequest;
    int dialogs = 0;

    std::string* SettingsIn(const std::wstring& folder) {
        auto it = files.find(folder + L"ustawienia.dat");
        return it == files.end() ? nullptr : &it->second;
    }

    void setLabelText(const std::wstring& text) override { label = text; }
    bool runEnabled() override { return enabled; }
    void setRunEnabled(bool value) override { enabled = value; }
    int checkValue() override { return check; }
    void setCheckValue(int value) override { check = value; }
    bool minimised() override { return isMinimised; }
    void setMinimised(bool value) override { isMinimised = value; }
    void setTimer(TimerId timer, unsigned, bool on) override { timers[timer] = on; }
    void messageBox(const std::wstring& text, const std::wstring& title, bool error) override {
        log.push_back((error ? L"error " : L"message ") + title + L": " + text);
    }
    bool openFileDialog(OpenFileRequest& request) override {
        ++dialogs;
        lastRequest = request;
        if (!dialogAnswer) return false;
        request.file.replace(0, dialogAnswer->size() + 1, *dialogAnswer + L'\0');
        return true;
    }
    [[noreturn]] void endProcess() override {
        log.push_back(L"end");
        throw ProcessEnded{};
    }

    std::wstring currentDirectory() override { return cwd; }
    void setCurrentDirectory(const std::wstring& folder) override {
        for (const std::wstring& missing : missingFolders)
            if (folder == missing) throw SystemError(L"no such folder");
        log.push_back(L"cd " + folder);
        cwd = folder;
    }
    std::wstring ownFolder() override { return exeFolder; }
    std::uint32_t startProgram(const std::wstring& path, int showCode) override {
        if (!startError.empty()) throw SystemError(startError);
        log.push_back(L"start " + path + L" show " + std::to_wstring(showCode));
        return ++lastPid;
    }
    Handle openProcess(std::uint32_t access, bool inherit, std::uint32_t pid) override {
        log.push_back(L"open " + std::to_wstring(access) + L" " + std::to_wstring(inherit) + L" " +
                      std::to_wstring(pid));
        return openFails ? 0 : 1000 + pid;
    }
    bool getExitCodeProcess(Handle process, std::int32_t& exitCode) override {
        if (process == 0 || exitCodes.empty()) return false;
        exitCode = exitCodes.front();
        if (exitCodes.size() > 1) exitCodes.pop_front();
        return true;
    }
    void closeHandle(Handle handle) override { log.push_back(L"close " + std::to_wstring(handle)); }
    void keybdEvent(std::uint8_t vk, std::uint8_t scan, std::uint32_t flags, std::uintptr_t extra) override {
        log.push_back(L"key " + std::to_wstring(vk) + L" " + std::to_wstring(scan) + L" " + std::to_wstring(flags) +
                      L" " + std::to_wstring(extra));
    }
    float timeOfDay() override {
        const float now = clock.front();
        if (clock.size() > 1) clock.pop_front();
        return now;
    }

    std::optional<std::string> readFile(const std::wstring& name, std::size_t maxBytes) override {
        auto it = files.find(cwd + name);
        if (it == files.end()) return std::nullopt;
        return it->second.substr(0, maxBytes + 1);
    }
    void replaceFile(const std::wstring& name, const std::string& bytes) override {
        log.push_back(L"write " + cwd + name);
        files[cwd + name] = bytes;
    }
    // A small Windows-1250: ASCII and a few Polish letters; everything else has no byte.
    std::optional<std::string> toAnsi(const std::wstring& text) override {
        std::string bytes;
        for (wchar_t c : text) {
            if (c < 0x80) bytes += static_cast<char>(c);
            else if (auto it = kPolish.find(c); it != kPolish.end()) bytes += it->second;
            else return std::nullopt;
        }
        return bytes;
    }
    std::wstring fromAnsi(const std::string& bytes) override {
        std::wstring text;
        for (char b : bytes) {
            wchar_t c = static_cast<unsigned char>(b);
            for (const auto& [wide, narrow] : kPolish)
                if (narrow == b) c = wide;
            text += c;
        }
        return text;
    }
    std::optional<std::wstring> shortPath(const std::wstring& path) override {
        auto it = shortNames.find(path);
        if (it == shortNames.end()) return std::nullopt;
        return it->second;
    }

private:
    inline static const std::map<wchar_t, char> kPolish = {
        {L'ą', '\xB9'}, {L'ę', '\xEA'}, {L'ł', '\xB3'}, {L'ś', '\x9C'}, {L'ż', '\xBF'}, {L'Ł', '\xA3'}};
    std::uint32_t lastPid = 0;
};

}  // namespace czuwajnik::test
