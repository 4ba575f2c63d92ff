// Redirects HKEY_LOCAL_MACHINE (and optionally other roots) of this process to scratch
// keys under HKEY_CURRENT_USER\Software\TolvarinTests, deleted again at the end, so that
// tests never touch the machine's real registry.
#pragma once

#include <windows.h>

#include <string>

class ScratchRegistry {
public:
    // allRoots: HKEY_CURRENT_USER, HKEY_CLASSES_ROOT and HKEY_USERS too.
    explicit ScratchRegistry(bool allRoots = false) : m_count(allRoots ? 4 : 1) {
        m_path = "Software\\TolvarinTests\\" + std::to_string(GetCurrentProcessId()) + "_" +
                 std::to_string(++counter);
        // Every key is made before the first redirection, which would move HKEY_CURRENT_USER.
        for (int i = 0; i < m_count; ++i) {
            RegCreateKeyExA(HKEY_CURRENT_USER, (m_path + "\\" + std::to_string(i)).c_str(), 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_keys[i], nullptr);
        }
        for (int i = 0; i < m_count; ++i) RegOverridePredefKey(kRoots[i], m_keys[i]);
    }
    ~ScratchRegistry() {
        for (int i = 0; i < m_count; ++i) {
            RegOverridePredefKey(kRoots[i], nullptr);
            RegCloseKey(m_keys[i]);
        }
        RegDeleteTreeA(HKEY_CURRENT_USER, m_path.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\TolvarinTests");  // only when empty
    }
    ScratchRegistry(const ScratchRegistry&) = delete;
    // The key under HKEY_CURRENT_USER whose subkeys 0..3 stand for the roots.
    const std::string& Path() const { return m_path; }
    ScratchRegistry& operator=(const ScratchRegistry&) = delete;

    // Writes a value under the redirected HKEY_LOCAL_MACHINE, creating the key.
    static void SetString(const char* key, const char* name, const std::string& value) {
        SetValue(key, name, REG_SZ, value.c_str(), DWORD(value.size() + 1));
    }
    static void SetDword(const char* key, const char* name, DWORD value) {
        SetValue(key, name, REG_DWORD, &value, sizeof(value));
    }
    static void SetValue(const char* key, const char* name, DWORD type, const void* data,
                         DWORD size) {
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, key, name, type, data, size);
    }

private:
    static inline int counter = 0;
    static inline const HKEY kRoots[4] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_CLASSES_ROOT,
                                          HKEY_USERS};
    const int m_count;
    std::string m_path;
    HKEY m_keys[4] = {};
};
