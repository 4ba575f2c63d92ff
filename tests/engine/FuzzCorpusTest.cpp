// Replays the fuzz corpus (the regression input of every finding) and the behaviour scripts
// through the fuzz run, under the native build's sanitizers: each must end without a fault.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/FuzzRun.h"

TEST(FuzzCorpus, EveryInputRunsWithoutAFault) {
    int inputs = 0;
    std::vector<std::filesystem::path> files;
    for (const char* dir : {TOLV_FUZZ_CORPUS, TOLV_CATALOGUE}) {
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            files.push_back(entry.path());
        }
    }
    for (const std::filesystem::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
        SCOPED_TRACE(file.string());
        fuzz::RunInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(),
                       "setup.pxf");
        ++inputs;
    }
    EXPECT_GT(inputs, 0);
}
