// A program from this test's own directory, run as a child process; whatever is still
// running when the object goes is terminated, so a failed test leaves no process behind.
#pragma once

#include <windows.h>

#include <string>

// The directory of the running test executable, where the build puts every program.
inline std::string BinDir() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir = path;
    return dir.substr(0, dir.find_last_of("\\/"));
}

class ChildProcess {
public:
    // output: a file that takes the program's standard output and error ("": none).
    ChildProcess(const std::string& program, const std::string& arguments,
                 const std::string& output = "") {
        std::string path = BinDir() + "\\" + program;
        std::string commandLine = "\"" + path + "\" " + arguments;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        HANDLE out = output.empty() ? INVALID_HANDLE_VALUE
                                    : CreateFileA(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                                  &inherit, CREATE_ALWAYS, 0, nullptr);
        const bool redirected = out != INVALID_HANDLE_VALUE;
        if (redirected) startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = redirected ? out : nullptr;
        // Wine now and then fails to start a program the first time it is asked for it; a
        // program that cannot start at all still fails all three tries.
        for (int attempt = 0; attempt < 3 && !process_.hProcess; ++attempt) {
            if (CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, redirected, 0,
                               nullptr, nullptr, &startup, &process_)) {
                CloseHandle(process_.hThread);
            } else {
                process_ = {};
                Sleep(100);
            }
        }
        if (redirected) CloseHandle(out);
    }
    ~ChildProcess() {
        if (!process_.hProcess) return;
        TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, 10000);
        CloseHandle(process_.hProcess);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    DWORD Id() const { return process_.dwProcessId; }
    // Whether the process has ended (or never started).
    bool Ended() const {
        return !process_.hProcess || WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0;
    }

    // Waits for the end of the process: its exit code, or -1 if it never started or ended.
    int ExitCode() {
        DWORD code = 0;
        if (!process_.hProcess || WaitForSingleObject(process_.hProcess, 120000) != WAIT_OBJECT_0 ||
            !GetExitCodeProcess(process_.hProcess, &code)) {
            return -1;
        }
        return int(code);
    }

private:
    PROCESS_INFORMATION process_ = {};
};
