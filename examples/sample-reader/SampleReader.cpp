// A sample smart card reader driver: the module a device's DriverDll names. It keeps one
// simulated reader per device name: started or not, and whether a card is inserted. Its
// setup function shows a small dialog of its own where the user inserts or removes the
// simulated card; its card-operations function reports what is in the reader.
#include "plixa/PlixaDriver.h"

#include <windows.h>

#include <map>
#include <string>

namespace {

constexpr int kCancelled = 104;
constexpr int kNotStarted = 1;
constexpr int kCardCheck = 1001;

struct Reader {
    bool started = false;
    bool cardInserted = false;
};

std::map<std::string, Reader> gReaders;
HINSTANCE gModule = nullptr;

// The setup dialog: one check box for the simulated card, OK and Cancel. Built in memory
// so the driver needs no resource script.
class DialogTemplate {
public:
    DialogTemplate(const wchar_t* caption, short cx, short cy) {
        Align(4);
        DLGTEMPLATE header = {};
        header.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER;
        header.cx = cx;
        header.cy = cy;
        Append(&header, sizeof(header));
        Word(0), Word(0), Text(caption);  // no menu, default class
        Word(8), Text(L"MS Shell Dlg");
    }
    void Control(const wchar_t* text, WORD id, WORD atom, DWORD style, short x, short y, short cx,
                 short cy) {
        Align(4);
        DLGITEMTEMPLATE item = {};
        item.style = style | WS_CHILD | WS_VISIBLE;
        item.x = x, item.y = y, item.cx = cx, item.cy = cy, item.id = id;
        Append(&item, sizeof(item));
        Word(0xFFFF), Word(atom), Text(text), Word(0);
        reinterpret_cast<DLGTEMPLATE*>(m_bytes.data())->cdit++;
    }
    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(m_bytes.data()); }

private:
    void Append(const void* data, size_t size) {
        const char* bytes = static_cast<const char*>(data);
        m_bytes.append(bytes, size);
    }
    void Word(WORD value) { Append(&value, sizeof(value)); }
    void Text(const wchar_t* text) { Append(text, (wcslen(text) + 1) * sizeof(wchar_t)); }
    void Align(size_t boundary) {
        while (m_bytes.size() % boundary) m_bytes.push_back('\0');
    }
    std::string m_bytes;
};

struct SetupState {
    Reader* reader;
    bool changed;
};

INT_PTR CALLBACK SetupProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<SetupState*>(GetWindowLongPtrW(window, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrW(window, DWLP_USER, lParam);
            state = reinterpret_cast<SetupState*>(lParam);
            CheckDlgButton(window, kCardCheck, state->reader->cardInserted ? BST_CHECKED : 0);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                bool inserted = IsDlgButtonChecked(window, kCardCheck) == BST_CHECKED;
                state->changed = inserted != state->reader->cardInserted;
                state->reader->cardInserted = inserted;
                EndDialog(window, IDOK);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(window, IDCANCEL);
                return TRUE;
            }
            break;
    }
    return FALSE;
}

}  // namespace

extern "C" {

__declspec(dllexport) int __stdcall pxdInit(const char* deviceName) {
    gReaders[deviceName ? deviceName : ""].started = true;
    return 0;
}

__declspec(dllexport) int __stdcall pxdShutdown(const char* deviceName) {
    gReaders[deviceName ? deviceName : ""].started = false;
    return 0;
}

__declspec(dllexport) int __stdcall pxdSetup(const char* deviceName, void* ownerWindow,
                                             int* restartNeeded) {
    SetupState state = {&gReaders[deviceName ? deviceName : ""], false};
    DialogTemplate dialog(L"Sample reader setup", 180, 64);
    dialog.Control(L"A card is inserted in the simulated reader", kCardCheck, 0x0080,
                   BS_AUTOCHECKBOX | WS_TABSTOP, 10, 10, 160, 12);
    dialog.Control(L"OK", IDOK, 0x0080, BS_DEFPUSHBUTTON | WS_TABSTOP, 40, 40, 50, 14);
    dialog.Control(L"Cancel", IDCANCEL, 0x0080, WS_TABSTOP, 96, 40, 50, 14);
    INT_PTR result = DialogBoxIndirectParamW(gModule, dialog.Get(), HWND(ownerWindow), SetupProc,
                                             reinterpret_cast<LPARAM>(&state));
    if (result != IDOK) return kCancelled;
    // A changed card takes effect when the device starts again.
    if (restartNeeded) *restartNeeded = state.changed ? 1 : 0;
    return 0;
}

__declspec(dllexport) int __stdcall pxdCardOperations(const char* deviceName, void* ownerWindow,
                                                      int*) {
    const Reader& reader = gReaders[deviceName ? deviceName : ""];
    if (!reader.started) return kNotStarted;
    MessageBoxW(HWND(ownerWindow),
                reader.cardInserted ? L"A card is present in the reader."
                                    : L"The reader is empty: insert a card first.",
                L"Sample reader", MB_OK | MB_ICONINFORMATION);
    return 0;
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) gModule = module;
    return TRUE;
}
