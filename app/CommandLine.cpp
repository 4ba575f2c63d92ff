// The command-line action: [/q] [/l <log>] then /i <file>, /u <device> or /u *.
//
// /q makes a run quiet, for fleet tools that run Tolvarin with nobody at the screen: no
// window ever opens, and the exit code follows the Windows Installer's conventions that
// those tools already read (see QuietExitCode). Without /q the exit code is 0 or 1.
#include "install/DeviceActions.h"
#include "language/Language.h"
#include "app/ManagerApp.h"
#include "engine/Text.h"
#include "install/InstallLog.h"
#include "resources/resource.h"

#include <windows.h>

#include <cctype>
#include <optional>
#include <string>

namespace {

// Switch arguments are held in a path buffer of 260 characters (UTF-16 units, as Windows
// counts a path); a longer argument is refused rather than cut, since a cut path or device
// name would act on something else.
constexpr size_t kArgumentBufferSize = 260;

bool IsBlank(char c) {
    return isspace(static_cast<unsigned char>(c)) != 0;
}

const char* SkipBlanks(const char* p) {
    while (IsBlank(*p)) ++p;
    return p;
}

// Text without one pair of double quotes around it: fleet tools quote every path and
// name, and no Windows path or device name can hold a quote.
std::string Unquoted(std::string text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        text = text.substr(1, text.size() - 2);
    }
    return text;
}

// The rest of the line after the switch letter, trimmed of white space at both ends and
// unquoted; nothing when it does not fit the argument buffer.
std::optional<std::string> SwitchArgument(const char* rest) {
    std::string argument = rest;
    if (PathLongerThan(argument, kArgumentBufferSize - 1)) return std::nullopt;
    size_t first = 0;
    while (first < argument.size() && IsBlank(argument[first])) ++first;
    size_t last = argument.size();
    while (last > first && IsBlank(argument[last - 1])) --last;
    return Unquoted(argument.substr(first, last - first));
}

// Whether p is the option letter's switch (/x or -x, any case) followed by a blank or the
// end of the line.
bool IsOption(const char* p, char letter) {
    return (p[0] == '/' || p[0] == '-') && toupper(static_cast<unsigned char>(p[1])) == letter &&
           (p[2] == '\0' || IsBlank(p[2]));
}

// The word at p, a quoted one whole; *end is set past it.
std::string Word(const char* p, const char** end) {
    const char* stop = p;
    if (*p == '"') {
        stop = p + 1;
        while (*stop && *stop != '"') ++stop;
        if (*stop == '"') ++stop;
    } else {
        while (*stop && !IsBlank(*stop)) ++stop;
    }
    *end = stop;
    return Unquoted(std::string(p, stop));
}

int ShowUsage() {
    AfxMessageBox(LangString(IDS_USAGE), MB_OK);
    return 1;
}

int QuietExitCode(FlowOutcome outcome) {
    switch (outcome) {
        case FlowOutcome::kDone:
            return ERROR_SUCCESS;
        case FlowOutcome::kRestartNeeded:
            return ERROR_SUCCESS_REBOOT_REQUIRED;  // 3010
        case FlowOutcome::kAlreadyInstalled:
            return ERROR_PRODUCT_VERSION;  // 1638
        case FlowOutcome::kNoSuchDevice:
            return ERROR_UNKNOWN_PRODUCT;  // 1605
        case FlowOutcome::kFailed:
            break;
    }
    return ERROR_INSTALL_FAILURE;  // 1603
}

// Uninstalls every device, going on past a failure. The Part's rule (0 always) stands
// without /q; a quiet run returns the first failure's code, or 3010 when one of them
// needs a restart and none failed.
int UninstallAll(const CommandLineActions& actions, bool quiet) {
    int count = actions.deviceCount();
    int result = ERROR_SUCCESS;
    for (int index = 0; index < count; ++index) {
        DeviceInfo info = {};
        actions.deviceInfo(index, &info);
        FlowOutcome outcome = FlowOutcome::kFailed;
        actions.uninstall(info.deviceName ? info.deviceName : "", 0, &outcome);
        const int code = QuietExitCode(outcome);
        if (result == ERROR_SUCCESS || (result == ERROR_SUCCESS_REBOOT_REQUIRED && code != 0)) {
            result = code;
        }
    }
    return quiet ? result : 0;
}

}  // namespace

ParsedCommandLine ParseCommandLine(const char* commandLine) {
    ParsedCommandLine line;
    const char* p = SkipBlanks(commandLine ? commandLine : "");
    for (;;) {
        if (IsOption(p, 'Q')) {
            line.quiet = true;
            p = SkipBlanks(p + 2);
        } else if (IsOption(p, 'L')) {
            line.logFile = Word(SkipBlanks(p + 2), &p);
            if (line.logFile.empty()) line.valid = false;
            p = SkipBlanks(p);
        } else {
            break;
        }
    }
    if (*p == '\0') {
        // Options alone name no action.
        line.valid = line.valid && !line.quiet && line.logFile.empty();
        return line;
    }
    const char letter = char(toupper(static_cast<unsigned char>(p[1])));
    std::optional<std::string> argument = SwitchArgument(p + 2);
    if ((*p != '-' && *p != '/') || (letter != 'U' && letter != 'I') || !argument ||
        (letter == 'I' && argument->empty())) {
        line.valid = false;
        return line;
    }
    line.action = letter;
    line.argument = *argument;
    return line;
}

const CommandLineActions& DefaultCommandLineActions() {
    static const CommandLineActions actions = {InstallDevice, UninstallDevice, pxGetDeviceCount,
                                               pxGetDeviceInfo};
    return actions;
}

int RunCommandLine(const char* commandLine, const CommandLineActions& actions) {
    const ParsedCommandLine line = ParseCommandLine(commandLine);
    if (!line.valid || line.action == 0) {
        if (!line.quiet) return ShowUsage();
        LogRunNote("bad command line: nothing done");
        return ERROR_INVALID_COMMAND_LINE;  // 1639
    }
    if (line.action == 'U' && line.argument == "*") return UninstallAll(actions, line.quiet);
    FlowOutcome outcome = FlowOutcome::kFailed;
    const int result = line.action == 'U' ? actions.uninstall(line.argument.c_str(), 0, &outcome)
                                          : actions.install(line.argument.c_str(), 0, &outcome);
    return line.quiet ? QuietExitCode(outcome) : result;
}
