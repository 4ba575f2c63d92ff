#include "install/SilentInstallHost.h"

namespace {
bool IsUpper(char c) {
    return c >= 'A' && c <= 'Z';
}
char ToUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
}  // namespace

int CSilentInstallHost::Prompt(const char*, const char* type) {
    char answer = '\0';
    if (type && type[0] != '\0') {
        for (const char* p = type + 1; *p; ++p) {
            if (IsUpper(*p)) {
                answer = *p;
                break;
            }
        }
        if (answer == '\0') answer = ToUpper(type[1]);
    }
    switch (answer) {
        case 'A':  // Abort
        case 'C':  // Cancel
            return 0;
        case 'I':  // Ignore
        case 'N':  // No
            return 2;
        default:  // OK, Retry, Yes, anything else
            return 1;
    }
}

int CSilentInstallHost::AskReplaceNewer(const char*, const _WIN32_FIND_DATAA*,
                                        const _WIN32_FIND_DATAA*) {
    return replaceNewerAnswer_;
}
