// ASCII case rules of the installation language, shared by every layer: names, commands,
// labels, registry roots and file names compare without regard to case, and names are
// stored upper-cased. Only ASCII letters change; the bytes of other code pages stay as
// they are, so the rules never depend on the locale.
#pragma once

#include <string>
#include <string_view>

inline char ToUpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline void UpperCaseAscii(std::string& text) {
    for (char& c : text) c = ToUpperAscii(c);
}

// A hash of a name exactly as written, for the small memos of recent lookups by name.
inline unsigned HashAsWritten(std::string_view name) {
    unsigned hash = 2166136261u;
    for (char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    return hash;
}

inline bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (ToUpperAscii(a[i]) != ToUpperAscii(b[i])) return false;
    }
    return true;
}
