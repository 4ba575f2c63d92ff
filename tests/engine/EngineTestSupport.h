// Helpers shared by the engine tests: paths of test data and scratch installation files.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/ScriptEngine.h"

namespace engine_test {

// A file in the temporary directory, removed when the object goes.
class ScratchFile {
public:
    explicit ScratchFile(const std::string& content, const std::string& tag = "script") {
        static int serial = 0;
        path_ = std::filesystem::temp_directory_path() /
                ("tolv_engine_" + tag + "_" + std::to_string(++serial) + ".pxf");
        std::ofstream out(path_, std::ios::binary);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
    }
    ~ScratchFile() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    std::string Path() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

// Runs f and returns the script error code it throws, or 0 when it throws nothing.
template <typename F>
int ErrorOf(F&& f) {
    try {
        f();
    } catch (int code) {
        return code;
    }
    return 0;
}

// Loads text (a header line is prepended) into engine through a scratch file.
inline void LoadText(CScriptEngine& engine, const std::string& body) {
    ScratchFile file(";OBRIX_INST_FILE\n" + body);
    engine.Load(file.Path().c_str());
}

}  // namespace engine_test
