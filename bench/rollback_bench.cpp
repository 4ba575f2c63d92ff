// Figures for the file source copy and the registry tree stream. Prints; asserts nothing.
//
//   rollback_bench.exe [MiB]     (default 256)
//
// 1. CDirectorySource::Copy against CopyFileA on one file of the given size, alternating,
//    three rounds each; best and median throughput and their ratio, and the process's peak
//    private memory before and after the copies (it must not grow with the file).
// 2. SaveRegTree and RestoreRegTree of a key with 10,000 values and 1,000 subkeys.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "commands/FileSource.h"
#include "rollback/RegistryStream.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

SIZE_T PeakPrivateBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakPagefileUsage;
}

bool MakeFile(const std::string& path, DWORD mebibytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::vector<char> block(1 << 20);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 31 + 7);
    bool ok = true;
    for (DWORD i = 0; i < mebibytes && ok; ++i) {
        DWORD written = 0;
        block[0] = static_cast<char>(i);
        ok = WriteFile(file, block.data(), DWORD(block.size()), &written, nullptr) &&
             written == block.size();
    }
    CloseHandle(file);
    return ok;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void BenchCopy(const std::string& dir, DWORD mebibytes) {
    const std::string source = dir + "\\source.bin";
    const std::string target = dir + "\\target.bin";
    if (!MakeFile(source, mebibytes)) {
        std::printf("could not create the %lu MiB source file\n",
                    static_cast<unsigned long>(mebibytes));
        return;
    }
    CDirectorySource media(dir);
    const SIZE_T peakBefore = PeakPrivateBytes();
    std::vector<double> ours, system;
    for (int round = 0; round < 3; ++round) {
        DeleteFileA(target.c_str());
        auto start = Clock::now();
        if (!media.Copy("source.bin", target.c_str(), nullptr)) std::printf("Copy failed\n");
        ours.push_back(mebibytes / Seconds(start));
        DeleteFileA(target.c_str());
        start = Clock::now();
        if (!CopyFileA(source.c_str(), target.c_str(), FALSE)) std::printf("CopyFileA failed\n");
        system.push_back(mebibytes / Seconds(start));
    }
    const SIZE_T peakAfter = PeakPrivateBytes();
    DeleteFileA(target.c_str());
    DeleteFileA(source.c_str());

    const double oursBest = *std::max_element(ours.begin(), ours.end());
    const double systemBest = *std::max_element(system.begin(), system.end());
    std::printf("copy of %lu MiB, 3 rounds each, alternating\n",
                static_cast<unsigned long>(mebibytes));
    std::printf("  CDirectorySource::Copy  best %8.1f MiB/s  median %8.1f MiB/s\n", oursBest,
                Median(ours));
    std::printf("  CopyFileA               best %8.1f MiB/s  median %8.1f MiB/s\n", systemBest,
                Median(system));
    std::printf("  ratio Copy/CopyFileA    best %6.1f %%      median %6.1f %%\n",
                100.0 * oursBest / systemBest, 100.0 * Median(ours) / Median(system));
    std::printf("  peak private memory     before %.1f MiB, after %.1f MiB\n",
                peakBefore / 1048576.0, peakAfter / 1048576.0);
}

void BenchRegistry(const std::string& dir) {
    const std::string key = "Software\\TolvarinBench\\" + std::to_string(GetCurrentProcessId());
    HKEY root = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root,
                    nullptr);
    auto start = Clock::now();
    for (int i = 0; i < 10000; ++i) {
        const std::string name = "Value" + std::to_string(i);
        const std::string data = "data of value " + std::to_string(i);
        RegSetValueExA(root, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       DWORD(data.size() + 1));
    }
    for (int i = 0; i < 1000; ++i) {
        HKEY sub = nullptr;
        RegCreateKeyExA(root, ("Sub" + std::to_string(i)).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &sub, nullptr);
        DWORD value = DWORD(i);
        RegSetValueExA(sub, "N", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
        RegCloseKey(sub);
    }
    RegCloseKey(root);
    const double build = Seconds(start);

    const std::string streamPath = dir + "\\stream.bin";
    HANDLE stream = CreateFileA(streamPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    start = Clock::now();
    const DWORD saved = tolv::SaveRegTree(HKEY_CURRENT_USER, key.c_str(), stream, true);
    const double save = Seconds(start);
    const DWORD size = GetFileSize(stream, nullptr);
    RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
    SetFilePointer(stream, 0, nullptr, FILE_BEGIN);
    start = Clock::now();
    const DWORD restored = tolv::RestoreRegTree(HKEY_CURRENT_USER, key.c_str(), stream);
    const double restore = Seconds(start);
    CloseHandle(stream);

    DWORD values = 0, subkeys = 0;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &root) == ERROR_SUCCESS) {
        RegQueryInfoKeyA(root, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                         nullptr, nullptr, nullptr, nullptr);
        RegCloseKey(root);
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\TolvarinBench");

    std::printf("registry key with 10,000 values and 1,000 subkeys (built in %.2f s)\n", build);
    std::printf("  SaveRegTree     %7.3f s  result %lu, stream %lu bytes\n", save,
                static_cast<unsigned long>(saved), static_cast<unsigned long>(size));
    std::printf("  RestoreRegTree  %7.3f s  result %lu, back: %lu values, %lu subkeys\n", restore,
                static_cast<unsigned long>(restored), static_cast<unsigned long>(values),
                static_cast<unsigned long>(subkeys));
}

}  // namespace

int main(int argc, char** argv) {
    DWORD mebibytes = argc > 1 ? DWORD(std::strtoul(argv[1], nullptr, 10)) : 256;
    if (mebibytes == 0 || mebibytes > 4095) mebibytes = 256;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string dir =
        std::string(temp) + "tolv_bench_" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(dir.c_str(), nullptr);
    BenchCopy(dir, mebibytes);
    BenchRegistry(dir);
    RemoveDirectoryA(dir.c_str());
    return 0;
}
