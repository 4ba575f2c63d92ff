#include "language/Language.h"

#include "framework/Framework.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <optional>

namespace {

constexpr char kObrixKey[] = "SOFTWARE\\Obrix";
constexpr DWORD kLanguageBufferSize = 4;  // three letters and the terminator
constexpr DWORD kSharedPathBufferSize = 259;
constexpr int kStringBufferSize = 256;

struct LanguageState {
    char code[kLanguageBufferSize] = "rus";
    HMODULE module = nullptr;
    bool programItself = false;
    int offset = 0;
    HINSTANCE instance = nullptr;
    std::string baseName;
    std::string programDirectory;
    std::string sharedDirectory;
};

LanguageState gLanguage;

// A string value that fits, terminator included, in a buffer of capacity bytes; a value
// of another type, or one that does not fit, is not taken.
std::optional<std::string> ReadStringValue(HKEY key, const char* name, DWORD capacity) {
    std::string buffer(capacity, '\0');
    DWORD type = 0;
    DWORD size = capacity;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                         &size) != ERROR_SUCCESS)
        return std::nullopt;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
    size_t length = strnlen(buffer.data(), size);
    if (length >= capacity) return std::nullopt;
    buffer.resize(length);
    return buffer;
}

void ReadLanguageSettings() {
    strcpy(gLanguage.code, "rus");
    gLanguage.sharedDirectory.clear();
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kObrixKey, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        if (auto code = ReadStringValue(key, "Language", kLanguageBufferSize))
            strcpy(gLanguage.code, code->c_str());
        if (auto shared = ReadStringValue(key, "Shared Path", kSharedPathBufferSize))
            gLanguage.sharedDirectory = *shared;
        RegCloseKey(key);
    }
    if (gLanguage.code[0] == '\0') strcpy(gLanguage.code, "rus");
}

std::string JoinDirectory(const std::string& directory, const std::string& name) {
    char last = directory.back();
    return last == ':' || last == '\\' || last == '/' ? directory + name : directory + "\\" + name;
}

// The program directory, then the shared directory; never the system's own search order,
// whose folders (the current one among them) anyone may put a module into.
HMODULE LoadLanguageModule(const std::string& fileName) {
    for (const std::string* directory : {&gLanguage.programDirectory, &gLanguage.sharedDirectory}) {
        if (directory->empty()) continue;
        std::string path = JoinDirectory(*directory, fileName);
        if (HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE))
            return module;
    }
    return nullptr;
}

void ReleaseModule() {
    if (gLanguage.module && !gLanguage.programItself) FreeLibrary(gLanguage.module);
    gLanguage.module = nullptr;
}

bool CheckLanguageList(HMODULE module) {
    gLanguage.offset = 0;
    wchar_t list[kStringBufferSize] = {};
    if (LoadStringW(module, 0, list, kStringBufferSize) <= 0) return false;
    int offset = 0;
    if (!FindLanguageInList(list, gLanguage.code, &offset)) return false;
    gLanguage.offset = offset;
    gLanguage.module = module;
    return true;
}

bool TryLanguage() {
    gLanguage.programItself = true;
    if (CheckLanguageList(gLanguage.instance)) return true;
    gLanguage.programItself = false;
    if (HMODULE module = LoadLanguageModule(gLanguage.baseName + gLanguage.code + ".dll")) {
        gLanguage.module = module;
        gLanguage.offset = 0;
        return true;
    }
    // The universal module becomes the language module even when it does not load or
    // lacks the language; a later try replaces it.
    gLanguage.module = LoadLanguageModule(gLanguage.baseName + "_unilang.dll");
    return gLanguage.module && CheckLanguageList(gLanguage.module);
}

}  // namespace

bool FindLanguageInList(const std::wstring& list, const char* code, int* offset) {
    static const std::wstring kPrefix = L"LANGUAGES";
    if (list.compare(0, kPrefix.size(), kPrefix) != 0) return false;
    std::wstring wideCode(code, code + strlen(code));
    size_t found = list.find(wideCode, kPrefix.size());
    if (found == std::wstring::npos) return false;
    size_t equals = found + wideCode.size();
    if (equals >= list.size() || list[equals] != L'=') return false;
    const wchar_t* number = list.c_str() + equals + 1;
    wchar_t* end = nullptr;
    long value = wcstol(number, &end, 10);
    bool hasDigit = false;
    for (const wchar_t* p = number; p < end; ++p) hasDigit |= iswdigit(*p) != 0;
    if (!hasDigit) return false;
    *offset = int(value);
    return true;
}

// The framework's own texts follow the chosen language too; empty when the module lacks one.
static std::wstring FrameworkString(UINT id) {
    const wchar_t* text = nullptr;
    int length =
        LoadStringW(gLanguage.module, id + gLanguage.offset, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 && text ? std::wstring(text, length) : std::wstring();
}

int InitLanguage(HINSTANCE instance, const char* baseName, const char* programDirectory) {
    if (gLanguage.module) FreeLanguage();
    SetStringLoader(&FrameworkString);
    gLanguage.instance = instance;
    gLanguage.baseName = baseName ? baseName : "";
    gLanguage.programDirectory = programDirectory ? programDirectory : "";
    ReadLanguageSettings();
    if (TryLanguage()) return 1;
    if (strcmp(gLanguage.code, "rus") == 0) return 0;
    ReleaseModule();
    strcpy(gLanguage.code, "rus");
    return TryLanguage() ? 1 : 0;
}

void FreeLanguage() {
    SetStringLoader(nullptr);
    ReleaseModule();
    gLanguage.programItself = false;
}

int LoadLangStringN(UINT id, wchar_t* buffer, int size) {
    if (!buffer || size <= 0) return 0;
    buffer[0] = L'\0';
    return LoadStringW(gLanguage.module, id + gLanguage.offset, buffer, size);
}

int LoadLangString(UINT id, wchar_t* buffer) {
    return LoadLangStringN(id, buffer, kStringBufferSize);
}

std::wstring LangString(UINT id) {
    const wchar_t* text = nullptr;
    int length =
        LoadStringW(gLanguage.module, id + gLanguage.offset, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text) return L"no resource";
    return std::wstring(text, length);
}

void LangStringToBuffer(wchar_t* buffer, UINT id, int size) {
    if (!buffer) return;
    if (size <= 0) size = kStringBufferSize;
    std::wstring text = LangString(id);
    size_t length = std::min<size_t>(text.size(), size_t(size) - 1);
    wmemcpy(buffer, text.data(), length);
    buffer[length] = L'\0';
}

const DLGTEMPLATE* LoadLangDialog(UINT templateId) {
    HRSRC resource =
        FindResourceW(gLanguage.module, MAKEINTRESOURCEW(templateId + gLanguage.offset),
                      MAKEINTRESOURCEW(5) /* RT_DIALOG */);
    if (!resource) return nullptr;
    HGLOBAL loaded = LoadResource(gLanguage.module, resource);
    return loaded ? static_cast<const DLGTEMPLATE*>(LockResource(loaded)) : nullptr;
}

const char* CurrentLanguageCode() {
    return gLanguage.code;
}
int LanguageOffset() {
    return gLanguage.offset;
}
HMODULE LanguageModule() {
    return gLanguage.module;
}
bool LanguageIsProgramItself() {
    return gLanguage.programItself;
}
