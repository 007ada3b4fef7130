#pragma once
// The operations the utility needs from its system. Form1 talks to the system only
// through this interface, so the whole logic builds and runs without Windows.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace czuwajnik {

// A system operation that failed. `reason` is the system's own text for the failure, `code`
// its error code where it has one (else 0).
class SystemError : public std::runtime_error {
public:
    explicit SystemError(std::wstring reason, std::uint32_t code = 0)
        : std::runtime_error("system error"), reason_(std::move(reason)), code_(code) {}
    const std::wstring& reason() const { return reason_; }
    std::uint32_t code() const { return code_; }

private:
    std::wstring reason_;
    std::uint32_t code_;
};

using Handle = std::uintptr_t;  // 0 is "no handle"

enum class TimerId { Timer1 = 1, Timer2 = 2 };

// A started program's standard input, output and error: its own (a console program gets a console
// of its own), or the caller's: the handles the caller redirected, else the caller's console.
enum class Streams { Own, Callers };

// What the system is asked to do once a job is done.
enum class PowerAction { Sleep, Hibernate, ShutDown };

struct ProcessEntry {
    std::uint32_t pid;
    std::wstring name;  // its program's file name
};

// The open-file dialog's record, as the utility fills it. Texts may hold NULs.
struct OpenFileRequest {
    std::wstring title;
    std::wstring filter;      // description/pattern pairs separated by NULs, ended by two NULs
    std::uint32_t filterIndex = 0;
    std::wstring file;        // the file buffer, nMaxFile characters
    std::uint32_t maxFile = 0;
    std::uint32_t maxFileTitle = 0;
    std::wstring initialDir;
    std::wstring defExt;
    std::uint32_t flags = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    // Window and controls.
    virtual void setLabelText(const std::wstring& text) = 0;
    virtual bool runEnabled() = 0;
    virtual void setRunEnabled(bool enabled) = 0;
    // Turns off every way to choose or start another program: Uruchom and Przeglądaj, as buttons
    // and as menu items, and files dropped onto the window.
    virtual void disableChoosing() = 0;
    virtual int checkValue() = 0;
    virtual void setCheckValue(int value) = 0;
    virtual bool minimised() = 0;
    virtual void setMinimised(bool minimised) = 0;
    virtual void setTimer(TimerId timer, unsigned intervalMs, bool enabled) = 0;
    virtual void messageBox(const std::wstring& text, const std::wstring& title, bool error) = 0;
    virtual bool openFileDialog(OpenFileRequest& request) = 0;  // true on OK
    // The countdown before a PowerAction, a small window of its own titled "Czuwajnik", on the main
    // window's monitor: `text`, a button `act` that runs Form1::cmdTeraz_Click when clicked or pressed
    // itself, and "Anuluj", the default button with the focus, that runs Form1::cmdAnuluj_Click (so do
    // Enter, Esc and the close box). Shown by the first call; the later ones replace the texts.
    virtual void showCountdown(const std::wstring& text, const std::wstring& act) = 0;
    virtual void closeCountdown() = 0;
    [[noreturn]] virtual void endProcess(std::uint32_t exitCode) = 0;

    // The utility's command line after its own name, as written.
    virtual std::wstring commandLine() = 0;

    // Directories and processes. The throwing ones throw SystemError.
    virtual std::wstring currentDirectory() = 0;
    virtual void setCurrentDirectory(const std::wstring& folder) = 0;
    virtual std::wstring ownFolder() = 0;
    virtual std::wstring fullPath(const std::wstring& name) = 0;  // against the current directory
    virtual bool isFile(const std::wstring& path) = 0;            // an existing file, not a folder
    // Whether two file names (or paths) are the same, letters compared regardless of case as Windows compares them.
    virtual bool sameFileName(const std::wstring& a, const std::wstring& b) = 0;
    virtual std::wstring systemFolder() = 0;  // the system's own folder, with its command processor; ends in "\"
    virtual std::wstring environment(const std::wstring& name) = 0;  // a variable's value, or empty
    // Whether a program named `name` is looked for in the current folder before PATH.
    virtual bool searchesCurrentFolder(const std::wstring& name) = 0;
    // The file a shortcut (.lnk) leads to; nullopt where it cannot be resolved.
    virtual std::optional<std::wstring> shortcutTarget(const std::wstring& shortcut) = 0;
    // Starts the file `path` in the current directory with the command line `path` in quotes,
    // then `arguments` as they are; returns the new process's id.
    virtual std::uint32_t startProgram(const std::wstring& path, const std::wstring& arguments, int showCode,
                                       Streams streams) = 0;
    // Opens a process to read `access` and to learn when it ends.
    virtual Handle openProcess(std::uint32_t access, bool inherit, std::uint32_t pid) = 0;
    virtual SystemError lastError() = 0;  // why the last call that gave no handle failed
    virtual SystemError systemError(std::uint32_t code) = 0;  // the system's error `code`, with its text
    virtual std::wstring processPath(Handle process) = 0;  // its program's full path, or empty
    // Whether the process has ended, as the system signals it; nullopt where it cannot be waited on.
    virtual std::optional<bool> hasEnded(Handle process) = 0;
    // Its exit status: its exit code, or 259 while it runs; nullopt where it cannot be read.
    virtual std::optional<std::int32_t> exitCode(Handle process) = 0;
    virtual void closeHandle(Handle handle) = 0;
    virtual std::uint32_t ownProcessId() = 0;
    // One snapshot of the processes whose program's file name is one of `names` (compared as
    // Windows compares file names), other users' sessions left out; no process is opened for it.
    // Throws where the system's list cannot be read.
    virtual std::vector<ProcessEntry> processesNamed(const std::vector<std::wstring>& names) = 0;
    // Asks the system to stay out of idle sleep (the display is left to the power plan), or
    // ends that request.
    virtual void keepSystemAwake(bool awake) = 0;
    // Whether the computer runs on battery (true) or on mains power (false); nullopt where the system
    // cannot tell.
    virtual std::optional<bool> onBattery() = 0;
    // Asks the system to sleep, hibernate or shut down (programs are asked to close and may refuse;
    // only one that does not answer is closed); throws, with a code, where it refuses.
    virtual void powerDown(PowerAction action) = 0;
    virtual void keybdEvent(std::uint8_t vk, std::uint8_t scan, std::uint32_t flags, std::uintptr_t extra) = 0;
    virtual float timeOfDay() = 0;  // seconds since local midnight
    virtual std::uint64_t milliseconds() = 0;  // since the system started: never moved by a clock change
    virtual std::uint64_t awakeMilliseconds() = 0;  // as milliseconds(), but for the time the system slept
    virtual std::int64_t localTime() = 0;  // the local date and time, in seconds since 1 January 1601

    // Files and the ANSI code page.
    // At most maxBytes + 1 bytes are read, so a caller can tell an oversized file; nullopt where
    // there is no such file (the file or its folder is not found, or the name is a folder's). A
    // file that cannot be read, or whose being there cannot be told, throws, after a brief hold
    // by another program has been waited out.
    virtual std::optional<std::string> readFile(const std::wstring& name, std::size_t maxBytes) = 0;
    // Replaces the file as a whole: readers see the old content or the new, never a mix.
    virtual void replaceFile(const std::wstring& name, const std::string& bytes) = 0;
    virtual std::optional<std::string> toAnsi(const std::wstring& text) = 0;  // nullopt when not representable
    virtual std::wstring fromAnsi(const std::string& bytes) = 0;
    virtual std::optional<std::wstring> shortPath(const std::wstring& path) = 0;  // the 8.3 form, if any
};

}  // namespace czuwajnik
