// tolvarin.exe /i and /u as real processes, and the installation log they write. The tests
// run without a display, so that no message box can wait for a click; they use the test Wine
// prefix's own registry and remove every key and folder they made.
#include "tests/install/InstallTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kMarkerKey[] = "Software\\TolvarinTests\\Flow";

// Expects each part in the text, in this order.
void ExpectInOrder(const std::string& text, std::initializer_list<std::string> parts) {
    size_t at = 0;
    for (const std::string& part : parts) {
        const size_t found = text.find(part, at);
        ASSERT_NE(found, std::string::npos) << "missing: " << part << "\n" << text;
        at = found + part.size();
    }
}

class ProcessTest : public ::testing::Test {
protected:
    void TearDown() override {
        SetEnvironmentVariableA("TOLVARIN_LOG", nullptr);
        for (const std::string& device : devices)
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, DeviceKey(device).c_str());
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kMarkerKey);
    }
    // A device name of this test, cleaned up afterwards.
    std::string Device(const std::string& name) {
        devices.push_back("TolvTest" + name);
        return devices.back();
    }
    // An installation file for device whose Install copies payload.txt into the folder drv
    // and records it as the driver; tail runs after that.
    std::string InstallFile(const std::string& device, const std::string& tail = "",
                            const std::string& type = "OBX_PLIXA_DRIVER") {
        folder.Write("payload.txt", "driver");
        const std::string drv = folder / "drv";
        return folder.Write("setup.pxf",
                            Identify(device, type) +
                                Lines({"proc Install", "  mkdir " + Quoted(drv),
                                       "  copy \"payload.txt\", " + Quoted(drv + "\\"),
                                       "  regSZ HKLM, " + Quoted(DeviceKey(device)) +
                                           ", \"DriverDll\", " + Quoted(drv + "\\payload.txt")}) +
                                tail + "endp\r\n");
    }
    // A record whose Uninstall value names a file with an Uninstall procedure of body.
    void AddScripted(const std::string& device, std::initializer_list<std::string> body) {
        AddDevice(device, folder.Write("uninstall.pxf", ";OBRIX_INST_FILE\r\nproc Uninstall\r\n" +
                                                            Lines(body) + "endp\r\n"));
    }

    ScratchFolder folder;
    std::vector<std::string> devices;
    std::string log = folder / "install.log";
};

TEST_F(ProcessTest, InstallsAndUninstallsThroughTheDriverModule) {
    std::string device = Device("Plain");
    ASSERT_EQ(0, RunTolvarin("  /i   " + InstallFile(device, "", "obx_plixa_driver") + "   "));
    EXPECT_EQ(folder / "drv\\payload.txt", GetString(DeviceKey(device), "DriverDll"));
    EXPECT_EQ("driver", ReadFile(folder / "drv\\payload.txt"));

    // No Uninstall value: the driver module goes, and its folder with it when empty.
    EXPECT_EQ(0, RunTolvarin("/u " + device));
    EXPECT_FALSE(KeyExists(DeviceKey(device)));
    EXPECT_FALSE(FileExists(folder / "drv"));
}

TEST_F(ProcessTest, UninstallScriptsRunSilentlyWithTheirFolderAsArgument) {
    std::string device = Device("Silent");
    AddScripted(device, {"  eval $no, prompt \"Go on?\", \"?yNc\"",
                         "  regSZ HKLM, " + Quoted(kMarkerKey) + ", \"Answers\", \"#$no#,#$1#\""});
    EXPECT_EQ(0, RunTolvarin("/u " + device));
    EXPECT_EQ("2," + folder.Path(), GetString(kMarkerKey, "Answers"));
    EXPECT_FALSE(KeyExists(DeviceKey(device)));
}

TEST_F(ProcessTest, TheLogOfAFailedInstallationNamesFileLineCodeAndRollback) {
    SetEnvironmentVariableA("TOLVARIN_LOG", log.c_str());
    const std::string drv = folder / "drv";
    const std::string setup = folder.Write(
        "setup.pxf", Identify(Device("LogA")) +
                         Lines({"proc Install", "  set $quiet, 1", "  mkdir " + Quoted(drv),
                                "  regSZ HKLM, \"Software\"", "endp"}));
    EXPECT_EQ(1, RunTolvarin("/i " + setup));
    EXPECT_FALSE(FileExists(drv));
    ExpectInOrder(
        ReadFile(log),
        {"tolvarin started: command line \"/i " + setup, "install from " + setup,
         "Identify: INST_TYPE=\"OBX_PLIXA_DRIVER\" DEVNAME=\"TolvTestLogA\"",
         "undo line:   rmdir \"" + drv, setup + "(9): mkdir \"" + drv + "\" -> 1",
         "error 8 (missing or invalid argument) at " + setup + "(10): regSZ HKLM, \"Software\"",
         "rolling back", "rollback(", "rmdir", "result 1", "exit code 1"});
    // Statements that change nothing appear only at the trace level.
    EXPECT_EQ(ReadFile(log).find("set $quiet"), std::string::npos);
    // Every line carries a time stamp.
    EXPECT_EQ(ReadFile(log).compare(4, 1, "-"), 0);
}

// The log only watches: where it cannot be written, runs end as they would without it.
TEST_F(ProcessTest, UnwritableLogChangesNoExitCode) {
    SetEnvironmentVariableA("TOLVARIN_LOG", (folder / "no\\such\\folder\\x.log").c_str());
    const std::string bad =
        folder.Write("bad.pxf", Identify(Device("LogA")) + "proc Install\r\n  abort\r\nendp\r\n");
    EXPECT_EQ(1, RunTolvarin("/i " + bad));
}

}  // namespace
