// runprobe CODE [FILE|- [EVENT [ARGS...]]]: writes its command line and then its ARGS joined
// by "|" to FILE, waits up to a minute for the named EVENT, and exits with CODE.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (FILE* out = argc > 2 && argv[2][0] != '-' ? std::fopen(argv[2], "wb") : nullptr) {
        std::fputs(GetCommandLineA(), out);
        for (int i = 4; i < argc; ++i) std::fprintf(out, "%c%s", i == 4 ? '\n' : '|', argv[i]);
        std::fclose(out);
    }
    HANDLE event = argc > 3 ? OpenEventA(SYNCHRONIZE, FALSE, argv[3]) : nullptr;
    if (event) WaitForSingleObject(event, 60000);
    return argc > 1 ? static_cast<int>(std::strtoul(argv[1], nullptr, 0)) : 0;
}
