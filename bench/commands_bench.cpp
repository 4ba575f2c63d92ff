// Prints how many heap allocations one statement of each query and text command makes, for
// values under 256 characters, once the engine has run it before (its scratch texts and
// variable slots grown); measures, never judges. Counts every operator new of the process
// while the statement runs, the engine's own work included.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "engine/ScriptEngine.h"
#include "install/SilentInstallHost.h"

namespace {
long gAllocations = 0;
}  // namespace

void* operator new(std::size_t size) {
    ++gAllocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

// Allocations per run of statement, over 1000 runs after a first one.
double AllocationsPerRun(CScriptEngine& engine, const std::string& statement) {
    char line[1024];
    auto run = [&] {
        std::memcpy(line, statement.c_str(), statement.size() + 1);
        engine.ExecuteStatement(line);
    };
    run();
    constexpr int kRuns = 1000;
    const long before = gAllocations;
    for (int i = 0; i < kRuns; ++i) run();
    return double(gAllocations - before) / kRuns;
}

}  // namespace

int main() {
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string folder = self;
    folder.resize(folder.find_last_of('\\') + 1);
    char temp[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, temp);
    const std::string ini = std::string(temp) + "tolv_commands_bench.ini";
    WritePrivateProfileStringA("Reader", "Port", "COM3 порт", ini.c_str());
    SetEnvironmentVariableW(L"TOLV_BENCH", L"Значение переменной окружения");

    CScriptEngine engine;
    CSilentInstallHost host;
    engine.SetHost(&host);
    const char* statements[] = {
        "strupr $v, \"Привет, reader 2.3\"",
        "strlwr $v, \"ПРИВЕТ, READER 2.3\"",
        "strrep $v, \"C:\\Program Files\\Obrix\\VR-200\", \"\\\", \"/\"",
        "strrpos \"C:\\Program Files\\Obrix\\VR-200\\reader.dll\", \"\\\"",
        "vercmp \"2.10.3.4\", \"2.9.12\"",
        "regKeyExists HKCU, \"Software\"",
        "regEnumKey $v, HKCU, \"Software\", 1",
        "regEnumValue $v, HKCU, \"Environment\", 1",
        "getEnv $v, \"TOLV_BENCH\"",
        "fileVersion $v, \"tolvarin.exe\"",
        "iniGet $v, \"INI\", \"Reader\", \"Port\"",
    };
    std::printf("allocations per statement (values under 256 characters, after a first run):\n");
    for (std::string statement : statements) {
        const size_t at = statement.find("\"INI\"");
        if (at != std::string::npos) statement.replace(at, 5, "\"" + ini + "\"");
        const size_t exe = statement.find("\"tolvarin.exe\"");
        if (exe != std::string::npos) statement.replace(exe, 14, "\"" + folder + "tolvarin.exe\"");
        try {
            std::printf("  %-8.2f %s\n", AllocationsPerRun(engine, statement), statement.c_str());
        } catch (int code) {
            std::printf("  error %d %s\n", code, statement.c_str());
        }
    }
    DeleteFileA(ini.c_str());
    return 0;
}
