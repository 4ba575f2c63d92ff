// The command-line action, with the install and uninstall flows and the Device library's
// list replaced by recording fakes.
#include "app/Language.h"
#include "app/ManagerApp.h"
#include "resources/resource.h"
#include "tests/common/MessageBoxRecorder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> gCalls;
int gResult = 0;
std::vector<std::string> gDevices;

int FakeInstall(const char* path, int interactive) {
    gCalls.push_back("install[" + std::string(path) + "]" + std::to_string(interactive));
    return gResult;
}
int FakeUninstall(const char* name, int interactive) {
    gCalls.push_back("uninstall[" + std::string(name) + "]" + std::to_string(interactive));
    return gResult;
}
int __stdcall FakeCount() {
    return int(gDevices.size());
}
int __stdcall FakeInfo(int index, DeviceInfo* info) {
    info->deviceName = gDevices.at(index).c_str();
    return 0;
}

const CommandLineActions kFakes = {FakeInstall, FakeUninstall, FakeCount, FakeInfo};

class CommandLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        gCalls.clear();
        gDevices.clear();
        gResult = 0;
    }
    int Run(const std::string& line) { return RunCommandLine(line.c_str(), kFakes); }
    bool ShowedUsage() const {
        return boxes.boxes.size() == 1 && boxes.boxes[0].flags == MB_OK &&
               boxes.boxes[0].text.find(L"tolvarin [/u<device>]") != std::wstring::npos;
    }

    MessageBoxRecorder boxes;
};

TEST_F(CommandLineTest, InstallTakesTheTrimmedRestOfTheLine) {
    gResult = 7;
    EXPECT_EQ(7, Run("  \t/i   C:\\drivers\\setup.pxf  \t"));
    EXPECT_EQ(std::vector<std::string>{"install[C:\\drivers\\setup.pxf]0"}, gCalls);

    gCalls.clear();
    Run("/i a /u b");  // only the first switch counts: the rest is one file name
    EXPECT_EQ(std::vector<std::string>{"install[a /u b]0"}, gCalls);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(CommandLineTest, UninstallNeedsNoSeparatorAndAnyLetterCase) {
    gResult = 1;
    EXPECT_EQ(1, Run("/ufoo"));
    EXPECT_EQ(1, Run("/u foo"));
    EXPECT_EQ(1, Run("-U foo "));
    EXPECT_EQ(1, Run("/u **"));  // not the wildcard: a device named "**"
    EXPECT_EQ(1, Run("/u"));     // an empty name goes to the flow unchanged
    EXPECT_EQ((std::vector<std::string>{"uninstall[foo]0", "uninstall[foo]0", "uninstall[foo]0",
                                        "uninstall[**]0", "uninstall[]0"}),
              gCalls);
}

TEST_F(CommandLineTest, UninstallAllWalksTheListAndAlwaysSucceeds) {
    EXPECT_EQ(0, Run("/u*"));  // an empty list
    EXPECT_TRUE(gCalls.empty());

    gDevices = {"Alpha", "Beta", "Gamma"};
    gResult = 1;  // every removal fails: the run still succeeds
    EXPECT_EQ(0, Run(" /u * "));
    EXPECT_EQ(
        (std::vector<std::string>{"uninstall[Alpha]0", "uninstall[Beta]0", "uninstall[Gamma]0"}),
        gCalls);
}

TEST_F(CommandLineTest, AnythingElseShowsTheUsageAndFails) {
    for (const char* line : {"/i", "/i   ", "/x", "i file", "   ", "/", "-", "u foo"}) {
        boxes.boxes.clear();
        EXPECT_EQ(1, Run(line)) << line;
        EXPECT_TRUE(ShowedUsage()) << line;
    }
    EXPECT_TRUE(gCalls.empty());
}

TEST_F(CommandLineTest, AnArgumentTooLongForAPathIsRefusedNotCut) {
    std::string longest(259, 'a');
    Run("/i " + longest);  // 260 characters after the letter including the blank
    EXPECT_TRUE(ShowedUsage());
    EXPECT_TRUE(gCalls.empty());

    boxes.boxes.clear();
    Run("/i" + longest);  // 259 characters fit
    EXPECT_EQ(std::vector<std::string>{"install[" + longest + "]0"}, gCalls);
    EXPECT_TRUE(boxes.boxes.empty());
}

}  // namespace
