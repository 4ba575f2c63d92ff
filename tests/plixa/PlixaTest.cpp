// Plixa.dll against its contract: the device list from the registry, start and stop through
// driver modules, extended functions, settings, error texts and exclusive mode.
//
// Each test sees HKEY_LOCAL_MACHINE, for this process only, as a fresh scratch key under
// HKEY_CURRENT_USER\Software\TolvarinTests; the test drivers, loaded into this process, see
// it too and record their calls under it.
#include "plixa/Plixa.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kDevicesKey[] = "Software\\Obrix\\Plixa\\Devices";
constexpr char kDriverCallsKey[] = "Software\\TolvarinTests\\DriverCalls";
constexpr char kTestsKey[] = "Software\\TolvarinTests";

std::string BinDir() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir = path;
    return dir.substr(0, dir.find_last_of("\\/"));
}

std::string TestDriver() {
    return BinDir() + "\\plixa_testdriver.dll";
}
std::string BareDriver() {
    return BinDir() + "\\plixa_bare_driver.dll";
}
constexpr char kMissingDriver[] = "C:\\no such folder\\missing_driver.dll";

bool TestDriverLoaded() {
    return GetModuleHandleA("plixa_testdriver.dll") != nullptr;
}

class ScratchMachineKey {
public:
    ScratchMachineKey() {
        static int serial = 0;
        path_ = std::string(kTestsKey) + "\\plixa-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(++serial);
        if (RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key_, nullptr) == ERROR_SUCCESS) {
            overridden_ = RegOverridePredefKey(HKEY_LOCAL_MACHINE, key_) == ERROR_SUCCESS;
        }
    }
    ~ScratchMachineKey() {
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        if (key_) RegCloseKey(key_);
        RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, kTestsKey);  // only when no other run uses it
    }
    ScratchMachineKey(const ScratchMachineKey&) = delete;
    ScratchMachineKey& operator=(const ScratchMachineKey&) = delete;
    bool Ready() const { return overridden_; }

private:
    std::string path_;
    HKEY key_ = nullptr;
    bool overridden_ = false;
};

void SetValue(const std::string& keyPath, const char* name, DWORD type, const void* data,
              DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    if (name) {
        EXPECT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size));
    }
    RegCloseKey(key);
}

std::string DeviceKey(const std::string& device) {
    return std::string(kDevicesKey) + "\\" + device;
}

void AddDevice(const std::string& device) {
    SetValue(DeviceKey(device), nullptr, 0, nullptr, 0);
}

void SetText(const std::string& device, const char* name, const std::string& text,
             DWORD type = REG_SZ) {
    SetValue(DeviceKey(device), name, type, text.c_str(), DWORD(text.size() + 1));
}

void SetNumber(const std::string& device, const char* name, DWORD number) {
    SetValue(DeviceKey(device), name, REG_DWORD, &number, sizeof number);
}

void AddDevice(const std::string& device, DWORD startup, const std::string& driver) {
    SetNumber(device, "Startup", startup);
    if (!driver.empty()) SetText(device, "DriverDll", driver);
}

void RemoveDevice(const std::string& device) {
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeA(HKEY_LOCAL_MACHINE, DeviceKey(device).c_str()));
}

// A registry text, or "<absent>".
std::string RegText(const std::string& keyPath, const std::string& name) {
    char text[1024] = {};
    DWORD size = sizeof text;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, keyPath.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr,
                     text, &size) != ERROR_SUCCESS) {
        return "<absent>";
    }
    return text;
}

bool KeyExists(const std::string& keyPath) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// The calls the test driver recorded for the device, e.g. "init;shutdown;".
std::string DriverCalls(const std::string& device) {
    std::string calls = RegText(kDriverCallsKey, device);
    return calls == "<absent>" ? "" : calls;
}

DeviceInfo Info(const char* device) {
    DeviceInfo info = {};
    EXPECT_EQ(PX_OK, pxGetDeviceInfo1(device, &info)) << device;
    return info;
}

int Status(const char* device) {
    return Info(device).status;
}

std::vector<std::string> DeviceNames() {
    std::vector<std::string> names;
    for (int index = 0; index < pxGetDeviceCount(); ++index) {
        DeviceInfo info = {};
        EXPECT_EQ(PX_OK, pxGetDeviceInfo(index, &info));
        names.push_back(info.deviceName);
    }
    return names;
}

class PlixaTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(scratch_.Ready()); }
    void TearDown() override { pxDoneLibrary(); }

private:
    ScratchMachineKey scratch_;
};

TEST_F(PlixaTest, ListsDeviceKeysOrderedByNameWithoutCase) {
    for (const char* name : {"delta", "Bravo", "alpha", "Charlie"}) AddDevice(name);
    ASSERT_EQ(PX_OK, pxInitLibrary(PX_INIT_EXCLUSIVE));

    EXPECT_EQ((std::vector<std::string>{"alpha", "Bravo", "Charlie", "delta"}), DeviceNames());
    DeviceInfo info = {};
    EXPECT_EQ(PX_ERR_NO_SUCH_DEVICE, pxGetDeviceInfo(4, &info));
    EXPECT_EQ(PX_ERR_NO_SUCH_DEVICE, pxGetDeviceInfo(-1, &info));
    EXPECT_STREQ("Bravo", Info("BRAVO").deviceName);
    EXPECT_EQ(PX_ERR_NO_SUCH_DEVICE, pxGetDeviceInfo1("echo", &info));
    EXPECT_EQ(PX_ERR_INVALID_PARAMETER, pxGetDeviceInfo1("alpha", nullptr));
}

TEST_F(PlixaTest, NoDevicesKeyIsAnEmptyList) {
    ASSERT_EQ(PX_OK, pxInitLibrary(0));
    EXPECT_EQ(0, pxGetDeviceCount());
}

TEST_F(PlixaTest, ReadsRecordValuesAndIgnoresWrongTypes) {
    std::string longComment(5000, 'c');
    SetText("Full", "LogicalName", "Reader1");
    SetText("Full", "Vendor", "Obrix");
    SetText("Full", "Comment", longComment);
    SetEnvironmentVariableA("PLIXA_TEST_DIR", "C:\\drivers");
    SetText("Full", "DriverDll", "%PLIXA_TEST_DIR%\\full.dll", REG_EXPAND_SZ);
    SetNumber("Full", "Startup", PX_STARTUP_DISABLED);
    SetNumber("Full", "Version", 0x0105);

    AddDevice("Plain");

    // Texts stored without their terminating zero, numbers stored as text or bytes.
    SetValue(DeviceKey("Odd"), "Vendor", REG_SZ, "Vendor-without-zero", 6);
    SetText("Odd", "DriverDll", "%PLIXA_TEST_DIR%\\odd.dll");  // REG_SZ: taken as written
    SetText("Odd", "Startup", "0");
    DWORD bytes = 0x0203;
    SetValue(DeviceKey("Odd"), "Version", REG_BINARY, &bytes, sizeof bytes);
    SetNumber("Odd", "LogicalName", 7);
    SetNumber("OutOfRange", "Startup", 7);

    ASSERT_EQ(PX_OK, pxInitLibrary(PX_INIT_EXCLUSIVE));

    DeviceInfo full = Info("Full");
    EXPECT_STREQ("Reader1", full.logicalName);
    EXPECT_STREQ("Obrix", full.vendor);
    EXPECT_EQ(longComment, full.comment);
    EXPECT_STREQ("C:\\drivers\\full.dll", full.driverDll);
    EXPECT_EQ(PX_STARTUP_DISABLED, full.startupType);
    EXPECT_EQ(0x0105, full.driverVersion);
    EXPECT_EQ(PX_STATUS_NOT_STARTED, full.status);

    DeviceInfo plain = Info("Plain");
    for (const char* text : {plain.logicalName, plain.vendor, plain.comment, plain.driverDll}) {
        ASSERT_NE(nullptr, text);
        EXPECT_STREQ("", text);
    }
    EXPECT_EQ(PX_STARTUP_ON_DEMAND, plain.startupType);
    EXPECT_EQ(0, plain.driverVersion);

    DeviceInfo odd = Info("Odd");
    EXPECT_STREQ("Vendor", odd.vendor);
    EXPECT_STREQ("%PLIXA_TEST_DIR%\\odd.dll", odd.driverDll);
    EXPECT_STREQ("", odd.logicalName);
    EXPECT_EQ(PX_STARTUP_ON_DEMAND, odd.startupType);
    EXPECT_EQ(0, odd.driverVersion);
    EXPECT_EQ(PX_STARTUP_ON_DEMAND, Info("OutOfRange").startupType);
}

TEST_F(PlixaTest, InitStartsAutomaticDevicesAndKeepsTheirErrors) {
    AddDevice("AutoGood", PX_STARTUP_AUTOMATIC, TestDriver());
    AddDevice("AutoFailing", PX_STARTUP_AUTOMATIC, TestDriver());
    SetNumber("AutoFailing", "TestInit", 5);
    AddDevice("AutoMissing", PX_STARTUP_AUTOMATIC, kMissingDriver);
    AddDevice("AutoNoDriver", PX_STARTUP_AUTOMATIC, "");
    AddDevice("AutoBare", PX_STARTUP_AUTOMATIC, BareDriver());
    AddDevice("OnDemand", PX_STARTUP_ON_DEMAND, TestDriver());
    AddDevice("Disabled", PX_STARTUP_DISABLED, TestDriver());

    ASSERT_EQ(PX_OK, pxInitLibrary(PX_INIT_EXCLUSIVE));

    EXPECT_EQ(PX_OK, Status("AutoGood"));
    EXPECT_EQ(PX_ERR_DRIVER_INIT_FAILED, Status("AutoFailing"));
    EXPECT_EQ(PX_ERR_DRIVER_NOT_FOUND, Status("AutoMissing"));
    EXPECT_EQ(PX_ERR_DRIVER_NOT_FOUND, Status("AutoNoDriver"));
    EXPECT_EQ(PX_OK, Status("AutoBare"));
    EXPECT_EQ(PX_STATUS_NOT_STARTED, Status("OnDemand"));
    EXPECT_EQ(PX_STATUS_NOT_STARTED, Status("Disabled"));
    EXPECT_EQ("", DriverCalls("OnDemand"));
    EXPECT_EQ("", DriverCalls("Disabled"));

    pxDoneLibrary();
    EXPECT_EQ("init;shutdown;", DriverCalls("AutoGood"));
    EXPECT_EQ("init;", DriverCalls("AutoFailing"));
    EXPECT_FALSE(TestDriverLoaded());
    EXPECT_EQ(GetModuleHandleA("plixa_bare_driver.dll"), nullptr);
    EXPECT_EQ(0, pxGetDeviceCount());
}

TEST_F(PlixaTest, StartsAndStopsDevicesOnRequest) {
    AddDevice("Reader", PX_STARTUP_ON_DEMAND, TestDriver());
    AddDevice("Flaky", PX_STARTUP_ON_DEMAND, TestDriver());
    SetNumber("Flaky", "TestInit", 1);
    ASSERT_EQ(PX_OK, pxInitLibrary(PX_INIT_EXCLUSIVE));

    EXPECT_EQ(PX_OK, pxInitDevice("READER"));
    EXPECT_EQ(PX_OK, pxInitDevice("Reader"));  // already started: no second pxdInit
    EXPECT_EQ(PX_OK, Status("Reader"));
    EXPECT_EQ("init;", DriverCalls("Reader"));
    EXPECT_TRUE(TestDriverLoaded());

    EXPECT_EQ(PX_OK, pxShutdownDevice("Reader"));
    EXPECT_EQ(PX_STATUS_NOT_STARTED, Status("Reader"));
    EXPECT_EQ("init;shutdown;", DriverCalls("Reader"));
    EXPECT_FALSE(TestDriverLoaded());

    EXPECT_EQ(PX_OK, pxReInitDevice("Reader"));
    EXPECT_EQ(PX_OK, pxReInitDevice("Reader"));
    EXPECT_EQ("init;shutdown;init;shutdown;init;", DriverCalls("Reader"));
    EXPECT_EQ(PX_OK, pxShutdownDevice("Reader"));

    // A failed start leaves its error in the status and the module unloaded.
    EXPECT_EQ(PX_ERR_DRIVER_INIT_FAILED, pxInitDevice("Flaky"));
    EXPECT_EQ(PX_ERR_DRIVER_INIT_FAILED, Status("Flaky"));
    EXPECT_FALSE(TestDriverLoaded());
    SetNumber("Flaky", "TestInit", 0);
    EXPECT_EQ(PX_OK, pxReInitDevice("Flaky"));
    EXPECT_EQ("init;init;", DriverCalls("Flaky"));

    EXPECT_EQ(PX_ERR_NO_SUCH_DEVICE, pxInitDevice("Nobody"));
    EXPECT_EQ(PX_ERR_NO_SUCH_DEVICE, pxShutdownDevice("Nobody"));
    EXPECT_EQ(PX_ERR_INVALID_PARAMETER, pxInitDevice(nullptr));
}

TEST_F(PlixaTest, DisabledDeviceNeverStarts) {
    AddDevice("Off", PX_STARTUP_DISABLED, TestDriver());
    AddDevice("Reader", PX_STARTUP_ON_DEMAND, TestDriver());
    ASSERT_EQ(PX_OK, pxInitLibrary(PX_INIT_EXCLUSIVE));

    EXPECT_EQ(PX_ERR_DEVICE_DISABLED, pxInitDevice("Off"));
    EXPECT_EQ(PX_ERR_DEVICE_DISABLED, pxReInitDevice("Off"));
    EXPECT_EQ(PX_STATUS_NOT_STARTED, Status("Off"));
    EXPECT_EQ("", DriverCalls("Off"));

    // Disabling a running device leaves it running; it does not come back after a restart.
    ASSERT_EQ(PX_OK, pxInitDevice("Reader"));
    ASSERT_EQ(PX_OK, pxChangeDeviceSettings("Reader", PX_STARTUP_DISABLED, ""));
    EXPECT_EQ(PX_OK, Status("Reader"));
    EXPECT_EQ(PX_ERR_DEVICE_DISABLED, pxReInitDevice("Reader"));
    EXPECT_EQ(PX_STATUS_NOT_STARTED, Status("Reader"));
    EXPECT_EQ("init;shutdown;", DriverCalls("Reader"));
}

TEST_F(PlixaTest, RebuildFollowsTheRegistryAndKeepsRunningDevices) {
    AddDevice("Stays", PX_STARTUP_ON_DEMAND, TestDriver());
    AddDevice("Goes", PX_STARTUP_ON_DEMAND, TestDriver());
    ASSERT_EQ(PX_OK, pxInitLibrary(PX_INIT_EXCLUSIVE));
    ASSERT_EQ(PX_OK, pxInitDevice("Stays"));
    ASSERT_EQ(PX_OK, pxInitDevice("Goes"));

    AddDevice("Arrives", PX_STARTUP_AUTOMATIC, TestDriver());
    SetText("Stays", "Vendor", "Changed");
    RemoveDevice("Goes");
    EXPECT_EQ((std::vector<std::string>{"Goes", "Stays"}), DeviceNames());

    ASSERT_EQ(PX_OK, pxRebuildDeviceList(0));
    EXPECT_EQ((std::vector<std::string>{"Arrives", "Stays"}), DeviceNames());
    EXPECT_EQ(PX_OK, Status("Stays"));
    EXPECT_STREQ("Changed", Info("Stays").vendor);
    EXPECT_EQ("init;", DriverCalls("Stays"));
    EXPECT_EQ("init;shutdown;", DriverCalls("Goes"));
    EXPECT_EQ(PX_STATUS_NOT_STARTED, Status("Arrives"));

    // The kept device's driver is still the one loaded: stopping it unloads the module.
    EXPECT_EQ(PX_OK, pxShutdownDevice("Stays"));
    EXPECT_EQ("init;shutdown;", DriverCalls("Stays"));
    EXPECT_FALSE(TestDriverLoaded());
}

TEST_F(PlixaTest, ExtendedFunctionQueriesAskTheDriverWithoutStartingIt) {
    AddDevice("Full", PX_STARTUP_ON_DEMAND, TestDriver());
    AddDevice("Bare", PX_STARTUP_ON_DEMAND, BareDriver());
    AddDevice("Missing", PX_STARTUP_ON_DEMAND, kMissingDriver);
    ASSERT_EQ(PX_OK, pxInitLibrary(PX_INIT_EXCLUSIVE));

    struct Case {
        const char* device;
        int exists;
    };
    for (Case c : {Case{"Full", 1}, Case{"Bare", 0}, Case{"Missing", 0}}) {
        for (unsigned code : {PX_FN_QUERY | PX_FN_SETUP, PX_FN_QUERY | PX_FN_CARD_OPERATIONS}) {
            int out = 42;
            EXPECT_EQ(PX_OK, pxExtendedFunction(c.device, code, nullptr, &out)) << c.device;
            EXPECT_EQ(c.exists, out != 0) << c.device << " " << code;
        }
    }
    EXPECT_EQ(PX_STATUS_NOT_STARTED, Status("Full"));
    EXPECT_EQ("", DriverCalls("Full"));
    EXPECT_FALSE(TestDriverLoaded());

    int out = 0;
    EXPECT_EQ(PX_ERR_INVALID_PARAMETER,
              pxExtendedFunction("Full", PX_FN_QUERY | PX_FN_SETUP, nullptr, nullptr));
    EXPECT_EQ(PX_ERR_NOT_SUPPORTED, pxExtendedFunction("Full", 3, nullptr, &out));
    EXPECT_EQ(PX_ERR_NOT_SUPPORTED, pxExtendedFunction("Full", PX_FN_QUERY | 3, nullptr, &out));
    EXPECT_EQ(PX_ERR_NO_SUCH_DEVICE, pxExtendedFunction("Nobody", PX_FN_SETUP, nullptr, &out));
}

TEST_F(PlixaTest, ExtendedFunctionsCallTheDriver) {
    AddDevice("Full", PX_STARTUP_ON_DEMAND, TestDriver());
    AddDevice("Bare", PX_STARTUP_ON_DEMAND, BareDriver());
    AddDevice("Missing", PX_STARTUP_ON_DEMAND, kMissingDriver);
    ASSERT_EQ(PX_OK, pxInitLibrary(PX_INIT_EXCLUSIVE));
    void* owner = reinterpret_cast<void*>(0x1234);

    int restart = 42;
    EXPECT_EQ(PX_OK, pxExtendedFunction("Full", PX_FN_SETUP, owner, &restart));
    EXPECT_EQ(0, restart);
    SetNumber("Full", "TestRestart", 1);
    EXPECT_EQ(PX_OK, pxExtendedFunction("Full", PX_FN_CARD_OPERATIONS, owner, &restart));
    EXPECT_EQ(1, restart);
    EXPECT_EQ("setup:4660;cards:4660;", DriverCalls("Full"));

    SetNumber("Full", "TestResult", PX_ERR_CANCELLED);
    EXPECT_EQ(PX_ERR_CANCELLED, pxExtendedFunction("Full", PX_FN_SETUP, owner, &restart));
    SetNumber("Full", "TestResult", 7);
    EXPECT_EQ(PX_ERR_DRIVER_FAILED, pxExtendedFunction("Full", PX_FN_SETUP, owner, &restart));
    EXPECT_EQ(PX_ERR_NOT_SUPPORTED, pxExtendedFunction("Bare", PX_FN_SETUP, owner, &restart));
    EXPECT_EQ(PX_ERR_DRIVER_NOT_FOUND,
              pxExtendedFunction("Missing", PX_FN_CARD_OPERATIONS, owner, &restart));
    EXPECT_FALSE(TestDriverLoaded());
}

TEST_F(PlixaTest, DriverCallsBackOnlyToRead) {
    AddDevice("Full", PX_STARTUP_ON_DEMAND, TestDriver());
    SetNumber("Full", "TestReenter", 1);
    ASSERT_EQ(PX_OK, pxInitLibrary(PX_INIT_EXCLUSIVE));
    ASSERT_EQ(PX_OK, pxInitDevice("Full"));
    int restart = 0;
    EXPECT_EQ(PX_OK, pxExtendedFunction("Full", PX_FN_SETUP, nullptr, &restart));
    EXPECT_EQ("init;setup:0;reenter:" + std::to_string(PX_ERR_BUSY) + ":1;", DriverCalls("Full"));
    EXPECT_EQ(PX_OK, Status("Full"));
}

TEST_F(PlixaTest, ChangeSettingsRefusesAnotherDevicesLogicalName) {
    SetText("One", "LogicalName", "Front");
    SetText("Two", "LogicalName", "Back");
    AddDevice("Three");
    ASSERT_EQ(PX_OK, pxInitLibrary(PX_INIT_EXCLUSIVE));

    for (const char* taken : {"Front", "FRONT", "front"}) {
        EXPECT_EQ(PX_ERR_NAME_TAKEN, pxChangeDeviceSettings("Two", PX_STARTUP_DISABLED, taken));
    }
    EXPECT_EQ("Back", RegText(DeviceKey("Two"), "LogicalName"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegGetValueA(HKEY_LOCAL_MACHINE, DeviceKey("Two").c_str(),
                                                 "Startup", RRF_RT_ANY, nullptr, nullptr, nullptr));
    EXPECT_STREQ("Back", Info("Two").logicalName);
    EXPECT_EQ(PX_STARTUP_ON_DEMAND, Info("Two").startupType);

    // A device may keep its own name in another case; a record read before stays valid.
    DeviceInfo before = Info("One");
    ASSERT_EQ(PX_OK, pxChangeDeviceSettings("One", PX_STARTUP_AUTOMATIC, "FRONT"));
    EXPECT_STREQ("Front", before.logicalName);
    EXPECT_STREQ("FRONT", Info("One").logicalName);
    EXPECT_EQ(PX_STARTUP_AUTOMATIC, Info("One").startupType);
    EXPECT_EQ("FRONT", RegText(DeviceKey("One"), "LogicalName"));
    DWORD startup = 99;
    DWORD size = sizeof startup;
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_LOCAL_MACHINE, DeviceKey("One").c_str(), "Startup",
                                          RRF_RT_REG_DWORD, nullptr, &startup, &size));
    EXPECT_EQ(DWORD(PX_STARTUP_AUTOMATIC), startup);

    // No logical name is never taken.
    EXPECT_EQ(PX_OK, pxChangeDeviceSettings("Two", PX_STARTUP_ON_DEMAND, ""));
    EXPECT_EQ(PX_OK, pxChangeDeviceSettings("Three", PX_STARTUP_ON_DEMAND, nullptr));
    EXPECT_EQ("", RegText(DeviceKey("Three"), "LogicalName"));

    EXPECT_EQ(PX_ERR_INVALID_PARAMETER, pxChangeDeviceSettings("Two", 3, "X"));
    EXPECT_EQ(PX_ERR_INVALID_PARAMETER, pxChangeDeviceSettings("Two", -1, "X"));
    EXPECT_EQ(PX_ERR_NO_SUCH_DEVICE, pxChangeDeviceSettings("Nobody", 1, "X"));
    RemoveDevice("Three");
    EXPECT_EQ(PX_ERR_NO_SUCH_DEVICE, pxChangeDeviceSettings("Three", 1, "X"));
    EXPECT_FALSE(KeyExists(DeviceKey("Three")));  // not created again
}

TEST_F(PlixaTest, CallsNeedAnOpenLibrary) {
    AddDevice("Reader", PX_STARTUP_ON_DEMAND, TestDriver());
    DeviceInfo info = {};
    EXPECT_EQ(0, pxGetDeviceCount());
    EXPECT_EQ(PX_ERR_NOT_INITIALIZED, pxGetDeviceInfo(0, &info));
    EXPECT_EQ(PX_ERR_NOT_INITIALIZED, pxInitDevice("Reader"));
    EXPECT_EQ(PX_ERR_NOT_INITIALIZED, pxRebuildDeviceList(0));
    EXPECT_EQ(PX_OK, pxDoneLibrary());

    ASSERT_EQ(PX_OK, pxInitLibrary(0));
    EXPECT_EQ(PX_ERR_ALREADY_INITIALIZED, pxInitLibrary(0));
    EXPECT_EQ(1, pxGetDeviceCount());
}

TEST(PlixaErrorStrings, EveryCodeHasATextOfAtMost256Bytes) {
    std::vector<int> codes = {PX_ERR_IN_USE};
    for (int code = PX_ERR_NOT_INITIALIZED; code <= PX_ERR_SYSTEM; ++code) codes.push_back(code);
    for (int code : codes) {
        char buffer[1024];
        memset(buffer, 'x', sizeof buffer);
        int length = pxGetErrorString(code, buffer);
        ASSERT_GT(length, 0) << code;
        EXPECT_EQ(size_t(length), strlen(buffer)) << code;
        EXPECT_LT(length, 256);
        EXPECT_EQ(std::string(sizeof buffer - 256, 'x'),
                  std::string(buffer + 256, sizeof buffer - 256));
    }
    for (int unknown : {0, 1, 58, 60, 99, PX_ERR_SYSTEM + 1, -1}) {
        char buffer[256] = "sentinel";
        EXPECT_EQ(0, pxGetErrorString(unknown, buffer)) << unknown;
        EXPECT_STREQ("", buffer);
    }
    EXPECT_EQ(0, pxGetErrorString(PX_ERR_IN_USE, nullptr));
}

// Runs plixa_probe.exe with the arguments; its exit code, or -1.
class Probe {
public:
    explicit Probe(const std::string& arguments) {
        std::string path = BinDir() + "\\plixa_probe.exe";
        std::string commandLine = "\"" + path + "\" " + arguments;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        if (CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           nullptr, &startup, &process_)) {
            CloseHandle(process_.hThread);
        } else {
            process_.hProcess = nullptr;
        }
    }
    ~Probe() {
        if (!process_.hProcess) return;
        TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, 10000);
        CloseHandle(process_.hProcess);
    }
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    int ExitCode() {
        DWORD code = 0;
        if (!process_.hProcess || WaitForSingleObject(process_.hProcess, 60000) != WAIT_OBJECT_0 ||
            !GetExitCodeProcess(process_.hProcess, &code)) {
            return -1;
        }
        return int(code);
    }
    void Kill() {
        TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, 10000);
    }

private:
    PROCESS_INFORMATION process_ = {};
};

int ProbeResult(unsigned flags) {
    return Probe(std::to_string(flags)).ExitCode();
}

TEST(PlixaExclusiveMode, AnotherProcessGetsInUseWhileHeld) {
    ASSERT_EQ(PX_OK, pxInitLibrary(PX_INIT_EXCLUSIVE));
    EXPECT_EQ(PX_ERR_IN_USE, ProbeResult(PX_INIT_EXCLUSIVE));
    EXPECT_EQ(PX_ERR_IN_USE, ProbeResult(0));
    pxDoneLibrary();
    EXPECT_EQ(PX_OK, ProbeResult(PX_INIT_EXCLUSIVE));

    // Shared openings do not exclude each other, nor an exclusive one that comes later.
    ASSERT_EQ(PX_OK, pxInitLibrary(0));
    EXPECT_EQ(PX_OK, ProbeResult(0));
    EXPECT_EQ(PX_OK, ProbeResult(PX_INIT_EXCLUSIVE));
    pxDoneLibrary();
}

TEST(PlixaExclusiveMode, HolderThatDiesReleasesTheLibrary) {
    std::string event = "PlixaProbe." + std::to_string(GetCurrentProcessId());
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, (event + ".ready").c_str());
    ASSERT_NE(nullptr, ready);
    {
        Probe holder(std::to_string(PX_INIT_EXCLUSIVE) + " " + event);
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready, 60000));
        EXPECT_EQ(PX_ERR_IN_USE, pxInitLibrary(PX_INIT_EXCLUSIVE));
        pxDoneLibrary();
        holder.Kill();
    }
    CloseHandle(ready);
    EXPECT_EQ(PX_OK, pxInitLibrary(PX_INIT_EXCLUSIVE));
    pxDoneLibrary();
}

}  // namespace
