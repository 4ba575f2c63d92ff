// Plixa.dll against its contract: start and stop through driver modules, extended
// functions, settings, error texts and exclusive mode. Each test sees HKEY_LOCAL_MACHINE as
// a fresh scratch key; the test drivers see it too and record their calls under it.
#include "plixa/Plixa.h"
#include "tests/common/ChildProcess.h"
#include "tests/common/DeviceRecords.h"
#include "tests/common/ScratchRegistry.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const std::string kTestDriver = BinDir() + "\\plixa_testdriver.dll";
const std::string kBareDriver = BinDir() + "\\plixa_bare_driver.dll";
constexpr char kMissingDriver[] = "C:\\no such folder\\missing_driver.dll";

void SetText(const std::string& device, const char* name, const std::string& text) {
    ScratchRegistry::SetString(DeviceKey(device).c_str(), name, text);
}
void SetNumber(const std::string& device, const char* name, DWORD number) {
    ScratchRegistry::SetDword(DeviceKey(device).c_str(), name, number);
}
void AddDevice(const std::string& device, DWORD startup, const std::string& driver) {
    SetNumber(device, "Startup", startup);
    if (!driver.empty()) SetText(device, "DriverDll", driver);
}
bool TestDriverLoaded() {
    return GetModuleHandleA("plixa_testdriver.dll");
}

DeviceInfo Info(const char* device) {
    DeviceInfo info = {};
    EXPECT_EQ(PX_OK, pxGetDeviceInfo1(device, &info)) << device;
    return info;
}
int Status(const char* device) {
    return Info(device).status;
}

class PlixaTest : public ::testing::Test {
protected:
    void TearDown() override { pxDoneLibrary(); }

    ScratchRegistry registry;
};

TEST_F(PlixaTest, InitStartsAutomaticDevicesAndKeepsTheirErrors) {
    const struct {
        const char* device;
        int startup;
        std::string driver;
        int status;
        const char* calls;  // by the time the library is closed
    } cases[] = {
        {"AutoGood", PX_STARTUP_AUTOMATIC, kTestDriver, PX_OK, "init;shutdown;"},
        {"AutoFailing", PX_STARTUP_AUTOMATIC, kTestDriver, PX_ERR_DRIVER_INIT_FAILED, "init;"},
        {"AutoMissing", PX_STARTUP_AUTOMATIC, kMissingDriver, PX_ERR_DRIVER_NOT_FOUND, ""},
        {"AutoNoDriver", PX_STARTUP_AUTOMATIC, "", PX_ERR_DRIVER_NOT_FOUND, ""},
        {"AutoBare", PX_STARTUP_AUTOMATIC, kBareDriver, PX_OK, ""},
        // Beside the program, yet not loaded: only a full path names a driver.
        {"AutoRelative", PX_STARTUP_AUTOMATIC, "plixa_testdriver.dll", PX_ERR_DRIVER_PATH, ""},
        {"AutoDriveRelative", PX_STARTUP_AUTOMATIC,
         kTestDriver.substr(0, 2) + "plixa_testdriver.dll", PX_ERR_DRIVER_PATH, ""},
        {"OnDemand", PX_STARTUP_ON_DEMAND, kTestDriver, PX_STATUS_NOT_STARTED, ""},
        {"Disabled", PX_STARTUP_DISABLED, kTestDriver, PX_STATUS_NOT_STARTED, ""},
        // A startup type the library does not know is reported as it is, never started.
        {"Unknown7", 7, kTestDriver, PX_STATUS_NOT_STARTED, ""},
    };
    for (const auto& c : cases) AddDevice(c.device, c.startup, c.driver);
    SetNumber("AutoFailing", "TestInit", 5);

    ASSERT_EQ(PX_OK, pxInitLibrary(PX_INIT_EXCLUSIVE));
    for (const auto& c : cases) EXPECT_EQ(c.status, Status(c.device)) << c.device;
    for (const auto& c : cases) EXPECT_EQ(c.startup, Info(c.device).startupType) << c.device;
    pxDoneLibrary();
    for (const auto& c : cases) EXPECT_EQ(c.calls, DriverCalls(c.device)) << c.device;
    EXPECT_FALSE(TestDriverLoaded());
    EXPECT_EQ(nullptr, GetModuleHandleA("plixa_bare_driver.dll"));
}

TEST_F(PlixaTest, StartsAndStopsDevicesOnRequest) {
    AddDevice("Reader", PX_STARTUP_ON_DEMAND, kTestDriver);
    AddDevice("Flaky", PX_STARTUP_ON_DEMAND, kTestDriver);
    SetNumber("Flaky", "TestInit", 1);
    AddDevice("Off", PX_STARTUP_DISABLED, kTestDriver);
    EXPECT_EQ(PX_ERR_NOT_INITIALIZED, pxInitDevice("Reader"));
    ASSERT_EQ(PX_OK, pxInitLibrary(PX_INIT_EXCLUSIVE));
    EXPECT_EQ(PX_OK, pxInitDevice("READER"));
    EXPECT_EQ(PX_OK, pxInitDevice("Reader"));  // already started: no second pxdInit
    EXPECT_EQ(PX_OK, Status("Reader"));
    EXPECT_EQ(PX_OK, pxShutdownDevice("Reader"));
    EXPECT_EQ(PX_STATUS_NOT_STARTED, Status("Reader"));
    EXPECT_FALSE(TestDriverLoaded());
    EXPECT_EQ(PX_OK, pxReInitDevice("Reader"));
    EXPECT_EQ(PX_OK, pxReInitDevice("Reader"));
    EXPECT_EQ("init;shutdown;init;shutdown;init;", DriverCalls("Reader"));

    // A failed start leaves its error in the status and the module unloaded.
    EXPECT_EQ(PX_ERR_DRIVER_INIT_FAILED, pxInitDevice("Flaky"));
    EXPECT_EQ(PX_ERR_DRIVER_INIT_FAILED, Status("Flaky"));
    EXPECT_EQ(PX_ERR_NO_SUCH_DEVICE, pxInitDevice("Nobody"));

    // Disabled never starts; disabling a running device stops it only at its next restart.
    EXPECT_EQ(PX_ERR_DEVICE_DISABLED, pxInitDevice("Off"));
    EXPECT_EQ(PX_ERR_DEVICE_DISABLED, pxReInitDevice("Off"));
    EXPECT_EQ("", DriverCalls("Off"));
    ASSERT_EQ(PX_OK, pxChangeDeviceSettings("Reader", PX_STARTUP_DISABLED, ""));
    EXPECT_EQ(PX_ERR_DEVICE_DISABLED, pxReInitDevice("Reader"));
    EXPECT_EQ(PX_STATUS_NOT_STARTED, Status("Reader"));
}

TEST_F(PlixaTest, ExtendedFunctionsAskAndCallTheDriver) {
    AddDevice("Full", PX_STARTUP_ON_DEMAND, kTestDriver);
    AddDevice("Bare", PX_STARTUP_ON_DEMAND, kBareDriver);
    AddDevice("Missing", PX_STARTUP_ON_DEMAND, kMissingDriver);
    ASSERT_EQ(PX_OK, pxInitLibrary(PX_INIT_EXCLUSIVE));

    // A query looks at the module's exports without starting the device (what the queries
    // answer for each kind of module decides the device window's buttons, tried there).
    int exported = 0;
    EXPECT_EQ(PX_OK, pxExtendedFunction("Full", PX_FN_QUERY | PX_FN_SETUP, nullptr, &exported));
    EXPECT_NE(0, exported);
    EXPECT_EQ("", DriverCalls("Full"));

    void* owner = reinterpret_cast<void*>(0x1234);
    int restart = 42;
    EXPECT_EQ(PX_OK, pxExtendedFunction("Full", PX_FN_SETUP, owner, &restart));
    EXPECT_EQ(0, restart);
    SetNumber("Full", "TestRestart", 1);
    EXPECT_EQ(PX_OK, pxExtendedFunction("Full", PX_FN_CARD_OPERATIONS, owner, &restart));
    EXPECT_EQ(1, restart);
    EXPECT_EQ("setup:4660;cards:4660;", DriverCalls("Full"));
    SetNumber("Full", "TestResult", 7);
    EXPECT_EQ(PX_ERR_DRIVER_FAILED, pxExtendedFunction("Full", PX_FN_SETUP, owner, &restart));
    // The user's cancel comes back as itself, which programs never show.
    SetNumber("Full", "TestResult", PX_ERR_CANCELLED);
    EXPECT_EQ(PX_ERR_CANCELLED, pxExtendedFunction("Full", PX_FN_SETUP, owner, &restart));
    EXPECT_EQ(PX_ERR_NOT_SUPPORTED, pxExtendedFunction("Bare", PX_FN_SETUP, owner, &restart));
    EXPECT_EQ(PX_ERR_DRIVER_NOT_FOUND, pxExtendedFunction("Missing", PX_FN_SETUP, owner, &restart));
    EXPECT_EQ(PX_ERR_INVALID_PARAMETER,
              pxExtendedFunction("Full", PX_FN_QUERY | PX_FN_SETUP, owner, nullptr));
    EXPECT_FALSE(TestDriverLoaded());
}

TEST_F(PlixaTest, ChangeSettingsRefusesAnotherDevicesLogicalName) {
    SetText("One", "LogicalName", "Front");
    SetText("Two", "LogicalName", "Back");
    SetText("Three", "Vendor", "");
    ASSERT_EQ(PX_OK, pxInitLibrary(PX_INIT_EXCLUSIVE));

    EXPECT_EQ(PX_ERR_NAME_TAKEN, pxChangeDeviceSettings("Two", PX_STARTUP_DISABLED, "fRONT"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegGetValueA(HKEY_LOCAL_MACHINE, DeviceKey("Two").c_str(),
                                                 "Startup", RRF_RT_ANY, nullptr, nullptr, nullptr));

    // A device may keep its own name in another case; a record read before stays valid.
    DeviceInfo before = Info("One");
    ASSERT_EQ(PX_OK, pxChangeDeviceSettings("One", PX_STARTUP_AUTOMATIC, "FRONT"));
    EXPECT_STREQ("Front", before.logicalName);
    EXPECT_STREQ("FRONT", Info("One").logicalName);
    EXPECT_EQ("FRONT", RegText(DeviceKey("One"), "LogicalName"));

    // No logical name is never taken, though Three has none either.
    EXPECT_EQ(PX_OK, pxChangeDeviceSettings("Two", PX_STARTUP_ON_DEMAND, ""));
    EXPECT_EQ(PX_OK, pxChangeDeviceSettings("Three", PX_STARTUP_ON_DEMAND, nullptr));
    EXPECT_EQ(PX_ERR_INVALID_PARAMETER, pxChangeDeviceSettings("Two", 3, "X"));
}

// Every code and reported status has a text in either language of the programs; the
// statuses a device shows most are tried by their words.
TEST(PlixaErrorStrings, EveryCodeAndStatusHasATextOfAtMost256Bytes) {
    std::vector<int> codes = {PX_OK, PX_STATUS_NOT_STARTED, PX_ERR_IN_USE};
    for (int code = PX_ERR_NOT_INITIALIZED; code <= PX_ERR_DRIVER_PATH; ++code)
        codes.push_back(code);
    for (const char* language : {"eng", "rus"}) {
        ScratchRegistry registry;
        ScratchRegistry::SetString("SOFTWARE\\Obrix", "Language", language);
        for (int code : codes) {
            char buffer[1024];
            memset(buffer, 'x', sizeof buffer);
            int length = pxGetErrorString(code, buffer);
            EXPECT_GT(length, 0) << code;
            EXPECT_LT(length, 256) << code;
            EXPECT_EQ(size_t(length), strlen(buffer)) << code;
            EXPECT_EQ(std::string(768, 'x'), std::string(buffer + 256, 768)) << code;
        }
        char working[256] = {};
        pxGetErrorString(PX_OK, working);
        EXPECT_STREQ(language == std::string("eng") ? "Working" : "Работает", working);
    }
    for (int unknown : {58, 60, PX_ERR_DRIVER_PATH + 1, -2}) {
        char buffer[256] = "sentinel";
        EXPECT_EQ(0, pxGetErrorString(unknown, buffer)) << unknown;
        EXPECT_STREQ("", buffer);
    }
}

// Opens the library in another process and returns its pxInitLibrary result. (A holder that
// dies while it has the library is tried in the start-up tests.)
int ProbeResult(unsigned flags) {
    return ChildProcess("plixa_probe.exe", std::to_string(flags)).ExitCode();
}

TEST(PlixaExclusiveMode, AnotherProcessGetsInUseWhileHeld) {
    ASSERT_EQ(PX_OK, pxInitLibrary(PX_INIT_EXCLUSIVE));
    EXPECT_EQ(PX_ERR_IN_USE, ProbeResult(PX_INIT_EXCLUSIVE));
    EXPECT_EQ(PX_ERR_IN_USE, ProbeResult(0));
    pxDoneLibrary();

    // Shared openings do not exclude each other, nor an exclusive one that comes later.
    ASSERT_EQ(PX_OK, pxInitLibrary(0));
    EXPECT_EQ(PX_OK, ProbeResult(0));
    EXPECT_EQ(PX_OK, ProbeResult(PX_INIT_EXCLUSIVE));
    pxDoneLibrary();
}

}  // namespace
