// Runs one procedure of an installation file with the program's interpreter and every
// command table, without window or host, and exits with its result (script error: 100 +
// code). What bench/against-nsis times; start-up is the process's own.
//   run_pxf.exe file.pxf [procedure]
#include <cstdio>

#include "engine/ScriptEngine.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: run_pxf file.pxf [procedure]\n");
        return 2;
    }
    try {
        CScriptEngine engine;
        engine.Load(argv[1]);
        return engine.CallProc(argc > 2 ? argv[2] : "Main");
    } catch (int code) {
        std::fprintf(stderr, "script error %d\n", code);
        return 100 + code;
    }
}
