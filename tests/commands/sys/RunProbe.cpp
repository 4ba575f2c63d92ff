// The program the run tests start: runprobe CODE [FILE|- [EVENT [ARGS...]]]. It writes its
// command line as it arrived, then its ARGS joined by "|", to FILE; waits (up to a minute)
// for the named EVENT to be set; and exits with CODE.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc > 2 && std::strcmp(argv[2], "-") != 0) {
        if (FILE* out = std::fopen(argv[2], "wb")) {
            std::fputs(GetCommandLineA(), out);
            for (int i = 4; i < argc; ++i) std::fprintf(out, "%s%s", i == 4 ? "\n" : "|", argv[i]);
            std::fclose(out);
        }
    }
    if (argc > 3) {
        if (HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, argv[3]))
            WaitForSingleObject(event, 60000);
    }
    return argc > 1 ? static_cast<int>(std::strtoul(argv[1], nullptr, 0)) : 0;
}
