// The command-line action, with the install and uninstall flows and the Device library's
// list replaced by recording fakes.
#include "language/Language.h"
#include "app/ManagerApp.h"
#include "resources/resource.h"
#include "tests/common/MessageBoxRecorder.h"
#include "tests/console/ConsoleTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string gCalls;
const std::vector<std::string> kDevices = {"Alpha", "Beta", "Gamma"};

// Every flow fails with 7: a run passes that on, except the removal of all devices.
int FakeInstall(const char* path, int interactive, FlowOutcome*) {
    gCalls += "install[" + std::string(path) + "]" + std::to_string(interactive);
    return 7;
}
int FakeUninstall(const char* name, int interactive, FlowOutcome*) {
    gCalls += "uninstall[" + std::string(name) + "]" + std::to_string(interactive);
    return 7;
}
int __stdcall FakeCount() {
    return int(kDevices.size());
}
int __stdcall FakeInfo(int index, DeviceInfo* info) {
    info->deviceName = kDevices.at(index).c_str();
    return 0;
}

const CommandLineActions kFakes = {FakeInstall, FakeUninstall, FakeCount, FakeInfo};

TEST(CommandLineTest, EachLineRunsOneActionOrShowsTheUsage) {
    console_test::LanguageScope language("eng");  // the usage text looked for below
    const std::string longest(259, 'a');
    const struct {
        std::string line;
        int result;
        std::string calls;  // "usage" for the usage box and nothing run
    } cases[] = {
        {"  \t/i   C:\\drivers\\setup.pxf  \t", 7, "install[C:\\drivers\\setup.pxf]0"},
        {"/i a /u b", 7, "install[a /u b]0"},  // only the first switch counts
        {"/i" + longest, 7, "install[" + longest + "]0"},
        {"/i " + longest, 1, "usage"},  // 260 characters after the letter: refused, not cut
        {"/ufoo", 7, "uninstall[foo]0"},
        {"-U foo ", 7, "uninstall[foo]0"},
        {"/u **", 7, "uninstall[**]0"},  // not the wildcard: a device named "**"
        {"/u", 7, "uninstall[]0"},
        {"/u*", 0, "uninstall[Alpha]0uninstall[Beta]0uninstall[Gamma]0"},
        {" /u * ", 0, "uninstall[Alpha]0uninstall[Beta]0uninstall[Gamma]0"},
        {"/i", 1, "usage"},
        {"/x", 1, "usage"},
        {"i file", 1, "usage"},
        {"   ", 1, "usage"},
        {"-", 1, "usage"},
    };
    for (const auto& c : cases) {
        MessageBoxRecorder boxes;
        gCalls.clear();
        EXPECT_EQ(c.result, RunCommandLine(c.line.c_str(), kFakes)) << c.line;
        for (const ShownBox& box : boxes.boxes) {
            bool usage =
                box.flags == MB_OK && box.text.find(L"tolvarin [/u<device>]") != std::wstring::npos;
            gCalls += usage ? "usage" : "<other box>";
        }
        EXPECT_EQ(c.calls, gCalls) << c.line;
    }
}

}  // namespace
