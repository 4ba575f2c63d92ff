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

inline bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (ToUpperAscii(a[i]) != ToUpperAscii(b[i])) return false;
    }
    return true;
}
