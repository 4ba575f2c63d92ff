// tolvarin.exe /i and /u as real processes. The tests run without a display, so that no
// message box can wait for a click; they use the test Wine prefix's own registry and remove
// every key and folder they made.
#include "tests/install/InstallTestSupport.h"

#include <gtest/gtest.h>

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
        return folder.Write("setup.pxf", Identify(device, type) +
                                             "proc Install\r\n"
                                             "  mkdir \"" +
                                             folder / "drv" +
                                             "\"\r\n"
                                             "  copy \"payload.txt\", \"" +
                                             folder / "drv" +
                                             "\\\"\r\n"
                                             "  regSZ HKLM, \"" +
                                             DeviceKey(device) + "\", \"DriverDll\", \"" +
                                             folder / "drv\\payload.txt" + "\"\r\n" + tail +
                                             "endp\r\n");
    }

    ScratchFolder folder;
    std::vector<std::string> devices;
};

TEST_F(ProcessTest, InstallsAndUninstallsThroughTheDriverModule) {
    std::string device = Device("Plain");
    std::string setup = InstallFile(device);
    ASSERT_EQ(0u, RunTolvarin("  /i   " + setup + "   "));
    EXPECT_EQ(folder / "drv\\payload.txt", GetString(DeviceKey(device), "DriverDll"));
    EXPECT_EQ("driver", ReadFile(folder / "drv\\payload.txt"));

    // No Uninstall value: the driver module goes, and its folder with it when empty.
    EXPECT_EQ(0u, RunTolvarin("/u " + device));
    EXPECT_FALSE(KeyExists(DeviceKey(device)));
    EXPECT_FALSE(FileExists(folder / "drv"));
}

TEST_F(ProcessTest, RefusedInstallationFilesChangeNothing) {
    std::string device = Device("Refused");
    EXPECT_EQ(0u, RunTolvarin("/i " + InstallFile(device, "", "obx_plixa_driver")));  // any case
    EXPECT_TRUE(KeyExists(DeviceKey(device)));
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, DeviceKey(device).c_str());
    RemoveTree(folder / "drv");

    EXPECT_EQ(1u, RunTolvarin("/i " + InstallFile(device, "", "OBX_OTHER_DRIVER")));
    EXPECT_EQ(1u, RunTolvarin("/i " + folder / "missing.pxf"));
    EXPECT_EQ(1u, RunTolvarin("/i " + folder.Write("noheader.pxf", "proc Identify\r\nendp\r\n")));
    EXPECT_EQ(1u,
              RunTolvarin("/i " + folder.Write("noidentify.pxf",
                                               ";OBRIX_INST_FILE\r\nproc Install\r\nendp\r\n")));
    EXPECT_FALSE(KeyExists(DeviceKey(device)));
    EXPECT_FALSE(FileExists(folder / "drv"));
}

TEST_F(ProcessTest, AnInstalledDeviceIsLeftAlone) {
    std::string device = Device("Present");
    AddDevice(device);
    EXPECT_EQ(0u, RunTolvarin("/i " + InstallFile(device)));
    EXPECT_EQ("<none>", GetString(DeviceKey(device), "DriverDll"));  // Install never ran
    EXPECT_FALSE(FileExists(folder / "drv"));
}

TEST_F(ProcessTest, AFailedInstallationIsTakenBack) {
    std::string device = Device("Failing");
    for (const char* ending : {"  abort\r\n", "  noSuchCommand\r\n"}) {
        // Something to overwrite: a file and a value that must come back as they were.
        CreateDirectoryA((folder / "drv").c_str(), nullptr);
        folder.Write("drv\\payload.txt", "old driver");
        SetString(kMarkerKey, "Keep", "old");
        std::string tail =
            "  regSZ HKLM, \"" + std::string(kMarkerKey) + "\", \"Keep\", \"new\"\r\n" + ending;
        EXPECT_EQ(1u, RunTolvarin("/i " + InstallFile(device, tail))) << ending;
        EXPECT_EQ("old driver", ReadFile(folder / "drv\\payload.txt")) << ending;
        EXPECT_EQ("old", GetString(kMarkerKey, "Keep")) << ending;
        EXPECT_FALSE(KeyExists(DeviceKey(device))) << ending;
    }
}

TEST_F(ProcessTest, UninstallWithoutAScriptDeletesTheRecordAndTheModuleOnly) {
    EXPECT_EQ(1u, RunTolvarin("/u TolvTestNoSuchDevice"));

    std::string bare = Device("Bare");
    AddDevice(bare);
    EXPECT_EQ(0u, RunTolvarin("/u " + bare));
    EXPECT_FALSE(KeyExists(DeviceKey(bare)));

    std::string shared = Device("SharedFolder");
    CreateDirectoryA((folder / "lib").c_str(), nullptr);
    AddDevice(shared, "", folder.Write("lib\\driver.dll", "module"));
    folder.Write("lib\\other.txt", "stays");
    EXPECT_EQ(0u, RunTolvarin("/u " + shared));
    EXPECT_FALSE(FileExists(folder / "lib\\driver.dll"));
    EXPECT_EQ("stays", ReadFile(folder / "lib\\other.txt"));
}

TEST_F(ProcessTest, AFailingUninstallScriptIsTakenBackAndKeepsTheRecord) {
    std::string missing = Device("MissingScript");
    AddDevice(missing, folder / "nowhere.pxf");
    EXPECT_EQ(1u, RunTolvarin("/u " + missing));
    EXPECT_TRUE(KeyExists(DeviceKey(missing)));

    std::string aborting = Device("Aborting");
    std::string kept = folder.Write("kept.txt", "content");
    AddDevice(aborting, folder.Write("uninstall.pxf",
                                     ";OBRIX_INST_FILE\r\n"
                                     "proc Uninstall\r\n"
                                     "  del \"" +
                                         kept +
                                         "\"\r\n"
                                         "  abort\r\n"
                                         "endp\r\n"));
    EXPECT_EQ(1u, RunTolvarin("/u " + aborting));
    EXPECT_EQ("content", ReadFile(kept));
    EXPECT_TRUE(KeyExists(DeviceKey(aborting)));
}

TEST_F(ProcessTest, UninstallScriptsRunSilentlyWithTheirFolderAsArgument) {
    std::string device = Device("Silent");
    AddDevice(device, folder.Write("uninstall.pxf",
                                   ";OBRIX_INST_FILE\r\n"
                                   "proc Uninstall\r\n"
                                   "  eval $yes, prompt \"Go on?\", \"?Ync\"\r\n"
                                   "  eval $no, prompt \"Go on?\", \"?yNc\"\r\n"
                                   "  eval $ok, prompt \"Note\", \"!oc\"\r\n"
                                   "  regSZ HKLM, \"" +
                                       std::string(kMarkerKey) +
                                       "\", \"Answers\", \"#$yes#,#$no#,#$ok#,#$1#\"\r\n"
                                       "endp\r\n"));
    EXPECT_EQ(0u, RunTolvarin("/u " + device));
    EXPECT_EQ("1,2,1," + folder.Path(), GetString(kMarkerKey, "Answers"));
    EXPECT_FALSE(KeyExists(DeviceKey(device)));
}

TEST_F(ProcessTest, UninstallAllGoesOnPastAFailure) {
    std::string first = Device("AllA"), failing = Device("AllB"), last = Device("AllC");
    AddDevice(first);
    AddDevice(failing, folder / "nowhere.pxf");
    AddDevice(last);
    EXPECT_EQ(0u, RunTolvarin("/u *"));
    EXPECT_FALSE(KeyExists(DeviceKey(first)));
    EXPECT_TRUE(KeyExists(DeviceKey(failing)));
    EXPECT_FALSE(KeyExists(DeviceKey(last)));
}

// The sample reader from examples/: installed from its installation file, then removed by
// the uninstaller that installation saved.
TEST(SampleDeviceTest, InstallsAndUninstallsThroughItsSavedRollbackScript) {
    const std::string key = DeviceKey("SampleReader");
    const std::string shared = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
    char programs[MAX_PATH] = {};
    DWORD size = sizeof(programs);
    RegGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                 "ProgramFilesDir", RRF_RT_REG_SZ, nullptr, programs, &size);
    const std::string folder = std::string(programs) + "\\Obrix\\SampleReader";
    const std::string driver = folder + "\\SampleReader.dll";
    ASSERT_FALSE(KeyExists(key)) << "the sample is installed already";

    ASSERT_EQ(0u, RunTolvarin("/i sample\\setup.pxf"));
    EXPECT_EQ(driver, GetString(key, "DriverDll"));
    EXPECT_EQ(folder + "\\uninstall.pxf", GetString(key, "Uninstall"));
    EXPECT_EQ("SCR1:", GetString(key, "LogicalName"));
    EXPECT_TRUE(FileExists(driver));
    DWORD count = 0;
    size = sizeof(count);
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_LOCAL_MACHINE, shared.c_str(), driver.c_str(),
                                          RRF_RT_REG_DWORD, nullptr, &count, &size));
    EXPECT_EQ(1u, count);

    EXPECT_EQ(0u, RunTolvarin("/u SampleReader"));
    EXPECT_FALSE(KeyExists(key));
    EXPECT_FALSE(FileExists(folder));
    EXPECT_FALSE(FileExists(std::string(programs) + "\\Obrix"));
    size = sizeof(count);
    EXPECT_NE(ERROR_SUCCESS, RegGetValueA(HKEY_LOCAL_MACHINE, shared.c_str(), driver.c_str(),
                                          RRF_RT_REG_DWORD, nullptr, &count, &size));

    RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str());  // whatever a failure above left
    RemoveTree(std::string(programs) + "\\Obrix");
}

}  // namespace
