// What a device driver module offers the Device library (Plixa.dll).
//
// A driver is a DLL named by the device's DriverDll registry value. Each export below is
// optional; the library looks them up by their plain names (on i686 the __stdcall-decorated
// name "pxdInit@4" and so on is accepted too). All are __stdcall, take the device's name
// first (one module may serve several devices), and return 0 for success.
//
// A driver must not call the library's changing functions (start, stop, rebuild, settings,
// extended functions) from these exports; they answer PX_ERR_BUSY. Reading device records
// is allowed.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Starts the device. Non-zero fails the start: the library unloads the module and the
// device's status becomes PX_ERR_DRIVER_INIT_FAILED. Without this export, loading the module
// is the whole start.
typedef int(__stdcall* PxdInitFn)(const char* deviceName);

// Stops a device that pxdInit started, just before the library unloads the module. The
// result is ignored.
typedef int(__stdcall* PxdShutdownFn)(const char* deviceName);

// The driver's setup function (pxdSetup) and the device's card-operations function
// (pxdCardOperations). ownerWindow is the HWND that owns any window the function opens
// (may be null). *restartNeeded starts as 0; set it non-zero when the device must be
// restarted for a change to take effect. Return 0, PX_ERR_CANCELLED (104) when the user
// cancelled, or any other value for failure (the caller sees PX_ERR_DRIVER_FAILED).
typedef int(__stdcall* PxdFunctionFn)(const char* deviceName, void* ownerWindow,
                                      int* restartNeeded);

#ifdef __cplusplus
}
#endif
