// Plixa.dll, the Device library: the smart card reader devices of this machine, their
// settings, start and stop.
//
// Every function is __stdcall and exported under its plain name (no decoration on either
// i686 or x86_64), so that programs can also bind to it with GetProcAddress. Results are 0
// for success and one of the PX_ERR_ codes below otherwise, unless a function says else.
// The library serialises calls from several threads; pxInitLibrary comes first, and
// pxDoneLibrary last (also after a failed pxInitLibrary).
//
// Devices are the subkeys of HKEY_LOCAL_MACHINE\Software\Obrix\Plixa\Devices as they were at
// the last pxInitLibrary or pxRebuildDeviceList, ordered by name without regard to case.
// Device names are compared without regard to case.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// One device as the library knows it. Eight fields: five texts, then three integers. On
// i686 every field is 32 bits wide; on x86_64 the text pointers are 64 bits wide, and the
// program and the library, built for the same platform, share this declaration.
//
// The texts belong to the library and are never null: an absent value is an empty text.
// They stay valid until the next pxRebuildDeviceList or pxDoneLibrary; a record read
// before pxChangeDeviceSettings keeps its old texts valid too.
typedef struct DeviceInfo {
    const char* deviceName;   // the key of every per-device call
    const char* logicalName;  // registry value LogicalName
    const char* vendor;       // registry value Vendor
    const char* comment;      // registry value Comment
    const char* driverDll;    // registry value DriverDll, environment references expanded
    int startupType;          // registry value Startup as it is (PX_STARTUP_...; default 1)
    int driverVersion;        // major << 8 | minor
    int status;               // PX_STATUS_NOT_STARTED, 0 when started, else a PX_ERR_ code
} DeviceInfo;

// Startup types. A record may hold any other value: it is reported as it is, and such a
// device, like an On demand one, starts only when asked.
enum {
    PX_STARTUP_AUTOMATIC = 0,  // started by pxInitLibrary
    PX_STARTUP_ON_DEMAND = 1,  // started by pxInitDevice or pxReInitDevice
    PX_STARTUP_DISABLED = 2,   // never started
    PX_STATUS_NOT_STARTED = -1
};

// pxInitLibrary flags.
#define PX_INIT_EXCLUSIVE 0x40000000u  // no other process may use the library meanwhile

// pxExtendedFunction codes. A code with PX_FN_QUERY added asks whether the function exists.
#define PX_FN_SETUP 1u            // the driver's setup function
#define PX_FN_CARD_OPERATIONS 2u  // the device's card-operations function
#define PX_FN_QUERY 0x80000000u

// Error codes; pxGetErrorString has a text for each of them.
enum {
    PX_OK = 0,
    PX_ERR_IN_USE = 59,                // another process holds the library exclusively
    PX_ERR_NOT_INITIALIZED = 100,      // pxInitLibrary has not succeeded
    PX_ERR_NO_SUCH_DEVICE = 101,       // no device of that name or index
    PX_ERR_INVALID_PARAMETER = 102,    // a null pointer or a value out of range
    PX_ERR_REGISTRY = 103,             // the device's registry key cannot be read or written
    PX_ERR_CANCELLED = 104,            // the user cancelled a driver function; never shown
    PX_ERR_DEVICE_DISABLED = 105,      // the device's startup type is Disabled
    PX_ERR_NAME_TAKEN = 106,           // another device has that logical name
    PX_ERR_DRIVER_NOT_FOUND = 107,     // no driver module, or it cannot be loaded
    PX_ERR_DRIVER_INIT_FAILED = 108,   // the driver's pxdInit failed
    PX_ERR_NOT_SUPPORTED = 109,        // unknown function code, or the driver lacks it
    PX_ERR_DRIVER_FAILED = 110,        // the driver's setup or card-operations function failed
    PX_ERR_ALREADY_INITIALIZED = 111,  // pxInitLibrary was called twice
    PX_ERR_BUSY = 112,                 // called from inside a driver function
    PX_ERR_OUT_OF_MEMORY = 113,
    PX_ERR_SYSTEM = 114,       // a Windows call failed
    PX_ERR_DRIVER_PATH = 115,  // DriverDll is no full path: the driver is not looked for
};

// Opens the library and builds the device list, then starts every Automatic device (a
// device that fails to start keeps the error in its status; the call still succeeds).
// With PX_INIT_EXCLUSIVE the process holds the library until pxDoneLibrary; while it does,
// pxInitLibrary in any other process returns PX_ERR_IN_USE, with or without the flag.
int __stdcall pxInitLibrary(unsigned flags);
// Shuts every started device down and closes the library. 0, or PX_ERR_BUSY when called
// from a driver's export.
int __stdcall pxDoneLibrary(void);

// The number of devices; 0 before pxInitLibrary.
int __stdcall pxGetDeviceCount(void);
// Fills *info with the device at index 0..count-1.
int __stdcall pxGetDeviceInfo(int index, DeviceInfo* info);
// Fills *info with the named device; PX_ERR_NO_SUCH_DEVICE when there is none.
int __stdcall pxGetDeviceInfo1(const char* deviceName, DeviceInfo* info);

// Starts the device: loads its driver module and calls the driver's pxdInit, if it has one.
// A started device stays as it is (0). The status becomes 0 or the error returned.
int __stdcall pxInitDevice(const char* deviceName);
// Shuts the device down if it is started and starts it again; a Disabled device stays shut
// down (PX_ERR_DEVICE_DISABLED).
int __stdcall pxReInitDevice(const char* deviceName);
// Calls the driver's pxdShutdown, if it has one, unloads the driver module and sets the
// status to PX_STATUS_NOT_STARTED.
int __stdcall pxShutdownDevice(const char* deviceName);
// Reads the device list again. Devices that remain keep their state; devices whose key is
// gone are shut down; new devices are not started. The argument is reserved (0).
int __stdcall pxRebuildDeviceList(int reserved);

// Runs function PX_FN_SETUP or PX_FN_CARD_OPERATIONS of the device's driver with
// ownerWindow (an HWND, may be null) as the owner of its windows; *out becomes non-zero when
// the device must be restarted with pxReInitDevice. The device need not be started. With
// PX_FN_QUERY added, *out becomes non-zero when the driver has that function (0 also when
// its module cannot be loaded) and nothing is called.
int __stdcall pxExtendedFunction(const char* deviceName, unsigned code, void* ownerWindow,
                                 int* out);

// Writes the device's startup type (0..2) and logical name (null or empty for none) to its
// registry key and to the list. PX_ERR_NAME_TAKEN, with nothing changed, when another device
// has the same non-empty logical name without regard to case. A started device keeps
// running whatever its new startup type.
int __stdcall pxChangeDeviceSettings(const char* deviceName, int startupType,
                                     const char* logicalName);

// Writes the text of a code returned by this library, or of a status it reports (0 started,
// PX_STATUS_NOT_STARTED), to buffer, at most 256 bytes with the terminating zero, and returns
// its length (non-zero). For any other code, writes an empty text and returns 0. The text is
// in the language of the Obrix programs (HKEY_LOCAL_MACHINE\SOFTWARE\Obrix, value Language:
// "eng" English, anything else Russian, their default) and the process's code page.
int __stdcall pxGetErrorString(int code, char* buffer);

#ifdef __cplusplus
}
#endif
