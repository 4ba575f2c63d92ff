#include "install/SilentInstallHost.h"

#include "engine/RunObserver.h"
#include "engine/TextCase.h"

namespace {
bool IsUpper(char c) {
    return c >= 'A' && c <= 'Z';
}

// The answer a prompt's default button gives.
int DefaultAnswer(const char* type) {
    char answer = '\0';
    if (type && type[0] != '\0') {
        for (const char* p = type + 1; *p; ++p) {
            if (IsUpper(*p)) {
                answer = *p;
                break;
            }
        }
        if (answer == '\0') answer = ToUpperAscii(type[1]);
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
}  // namespace

int CSilentInstallHost::Prompt(const char* text, const char* type) {
    const int answer = DefaultAnswer(type);
    RunNote("message \"%s\" type \"%s\" (not shown): answer %d", text ? text : "", type ? type : "",
            answer);
    return answer;
}

int CSilentInstallHost::AskReplaceNewer(const char*, const _WIN32_FIND_DATAA*,
                                        const _WIN32_FIND_DATAA*) {
    return replaceNewerAnswer_;
}
