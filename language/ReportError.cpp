#include "language/ReportError.h"

#include "framework/Framework.h"
#include "plixa/DeviceLibrary.h"

#include <string>

namespace {

constexpr DWORD kErrorTextSize = 1024;

std::wstring SystemErrorText(DWORD error) {
    wchar_t text[kErrorTextSize] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                   text, kErrorTextSize, nullptr);
    return text;
}

std::wstring LibraryErrorText(int code) {
    char text[kErrorTextSize] = {};
    pxGetErrorString(code, text);
    text[kErrorTextSize - 1] = '\0';
    return WideFromAnsi(text);
}

}  // namespace

int ReportError(int code, const char* prefix) {
    if (code == kSilentError) return 1;
    std::wstring text = code < 1 ? SystemErrorText(GetLastError()) : LibraryErrorText(code);
    if (prefix) text = WideFromAnsi(prefix) + L" : " + text;
    return AfxMessageBox(text, MB_ICONHAND);
}
