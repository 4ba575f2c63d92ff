#include "console/DeviceApi.h"

#include "language/Language.h"
#include "framework/Framework.h"
#include "resources/resource.h"

const DeviceApi& LibraryDeviceApi() {
    static const DeviceApi api = {
        pxGetDeviceCount,   pxGetDeviceInfo,        pxGetDeviceInfo1,
        pxInitDevice,       pxReInitDevice,         pxRebuildDeviceList,
        pxExtendedFunction, pxChangeDeviceSettings, pxGetErrorString,
    };
    return api;
}

std::wstring StartupTypeText(int startupType) {
    switch (startupType) {
        case PX_STARTUP_AUTOMATIC:
            return LangString(IDS_AUTOMATIC);
        case PX_STARTUP_ON_DEMAND:
            return LangString(IDS_ON_DEMAND);
        case PX_STARTUP_DISABLED:
            return LangString(IDS_DISABLED);
        default:
            return LangString(IDS_UNKNOWN);
    }
}

std::wstring StatusText(int status) {
    if (status == PX_STATUS_NOT_STARTED) return LangString(IDS_UNKNOWN);
    return LangString(status < 1 ? IDS_SUCCESS : IDS_ERROR);
}

std::wstring DeviceText(const char* text) {
    return text ? WideFromAnsi(text) : std::wstring();
}
