// The command-line action: /i <file>, /u <device>, /u *.
#include "app/DeviceActions.h"
#include "app/Language.h"
#include "app/ManagerApp.h"
#include "engine/Text.h"
#include "resources/resource.h"

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

// The rest of the line after the switch letter, trimmed of white space at both ends;
// nothing when it does not fit the argument buffer.
std::optional<std::string> SwitchArgument(const char* rest) {
    std::string argument = rest;
    if (PathLongerThan(argument, kArgumentBufferSize - 1)) return std::nullopt;
    size_t first = 0;
    while (first < argument.size() && IsBlank(argument[first])) ++first;
    size_t last = argument.size();
    while (last > first && IsBlank(argument[last - 1])) --last;
    return argument.substr(first, last - first);
}

int ShowUsage() {
    AfxMessageBox(LangString(IDS_USAGE), MB_OK);
    return 1;
}

int UninstallAll(const CommandLineActions& actions) {
    int count = actions.deviceCount();
    for (int index = 0; index < count; ++index) {
        DeviceInfo info = {};
        actions.deviceInfo(index, &info);
        actions.uninstall(info.deviceName ? info.deviceName : "", 0);
    }
    return 0;
}

}  // namespace

const CommandLineActions& DefaultCommandLineActions() {
    static const CommandLineActions actions = {InstallDevice, UninstallDevice, pxGetDeviceCount,
                                               pxGetDeviceInfo};
    return actions;
}

int RunCommandLine(const char* commandLine, const CommandLineActions& actions) {
    const char* p = commandLine ? commandLine : "";
    while (IsBlank(*p)) ++p;
    if (*p != '-' && *p != '/') return ShowUsage();
    char letter = char(toupper(static_cast<unsigned char>(p[1])));
    if (letter != 'U' && letter != 'I') return ShowUsage();
    std::optional<std::string> argument = SwitchArgument(p + 2);
    if (!argument) return ShowUsage();
    if (letter == 'U') {
        if (*argument == "*") return UninstallAll(actions);
        return actions.uninstall(argument->c_str(), 0);
    }
    if (argument->empty()) return ShowUsage();
    return actions.install(argument->c_str(), 0);
}
