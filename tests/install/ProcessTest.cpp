// tolvarin.exe /i and /u as real processes. The tests run without a display, so that no
// message box can wait for a click; they use the test Wine prefix's own registry and remove
// every key and folder they made.
#include "tests/install/InstallTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kMarkerKey[] = "Software\\TolvarinTests\\Flow";

class ProcessTest : public ::testing::Test {
protected:
    void TearDown() override {
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

TEST_F(ProcessTest, RefusedInstallationFilesChangeNothing) {
    std::string device = Device("Refused");
    EXPECT_EQ(1, RunTolvarin("/i " + InstallFile(device, "", "OBX_OTHER_DRIVER")));
    EXPECT_EQ(1, RunTolvarin("/i " + folder / "missing.pxf"));
    EXPECT_EQ(
        1, RunTolvarin("/i " + folder.Write("noidentify.pxf",
                                            Lines({";OBRIX_INST_FILE", "proc Install", "endp"}))));
    EXPECT_FALSE(KeyExists(DeviceKey(device)));
    EXPECT_FALSE(FileExists(folder / "drv"));

    AddDevice(device);  // an installed device is left alone
    EXPECT_EQ(0, RunTolvarin("/i " + InstallFile(device)));
    EXPECT_EQ("<none>", GetString(DeviceKey(device), "DriverDll"));  // Install never ran
    EXPECT_FALSE(FileExists(folder / "drv"));
}

TEST_F(ProcessTest, AFailedInstallationIsTakenBack) {
    // Something to overwrite: a file and a value that must come back as they were.
    std::string device = Device("Failing");
    CreateDirectoryA((folder / "drv").c_str(), nullptr);
    folder.Write("drv\\payload.txt", "old driver");
    ScratchRegistry::SetString(kMarkerKey, "Keep", "old");
    std::string tail = "  regSZ HKLM, " + Quoted(kMarkerKey) + ", \"Keep\", \"new\"\r\n  abort\r\n";
    EXPECT_EQ(1, RunTolvarin("/i " + InstallFile(device, tail)));
    EXPECT_EQ("old driver", ReadFile(folder / "drv\\payload.txt"));
    EXPECT_EQ("old", GetString(kMarkerKey, "Keep"));
    EXPECT_FALSE(KeyExists(DeviceKey(device)));
}

TEST_F(ProcessTest, AFailingUninstallScriptIsTakenBackAndKeepsTheRecord) {
    std::string aborting = Device("Aborting");
    std::string kept = folder.Write("kept.txt", "content");
    AddScripted(aborting, {"  del " + Quoted(kept), "  abort"});
    EXPECT_EQ(1, RunTolvarin("/u " + aborting));
    EXPECT_EQ("content", ReadFile(kept));
    EXPECT_TRUE(KeyExists(DeviceKey(aborting)));
}

TEST_F(ProcessTest, UninstallScriptsRunSilentlyWithTheirFolderAsArgument) {
    std::string device = Device("Silent");
    AddScripted(device, {"  eval $no, prompt \"Go on?\", \"?yNc\"",
                         "  regSZ HKLM, " + Quoted(kMarkerKey) + ", \"Answers\", \"#$no#,#$1#\""});
    EXPECT_EQ(0, RunTolvarin("/u " + device));
    EXPECT_EQ("2," + folder.Path(), GetString(kMarkerKey, "Answers"));
    EXPECT_FALSE(KeyExists(DeviceKey(device)));
}

// Without an Uninstall value a removal deletes the record and the driver module only; a
// failing device does not stop the removal of the others.
TEST_F(ProcessTest, UninstallAllGoesOnPastAFailure) {
    EXPECT_EQ(1, RunTolvarin("/u TolvTestNoSuchDevice"));
    std::string bare = Device("AllA"), failing = Device("AllB"), module = Device("AllC");
    AddDevice(bare);
    AddDevice(failing, folder / "nowhere.pxf");
    CreateDirectoryA((folder / "lib").c_str(), nullptr);
    AddDevice(module, "", folder.Write("lib\\driver.dll", "module"));
    folder.Write("lib\\other.txt", "stays");
    EXPECT_EQ(0, RunTolvarin("/u *"));
    EXPECT_FALSE(KeyExists(DeviceKey(bare)));
    EXPECT_TRUE(KeyExists(DeviceKey(failing)));
    EXPECT_FALSE(KeyExists(DeviceKey(module)));
    EXPECT_FALSE(FileExists(folder / "lib\\driver.dll"));
    EXPECT_EQ("stays", ReadFile(folder / "lib\\other.txt"));
}

}  // namespace
