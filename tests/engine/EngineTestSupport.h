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

// Runs ParseArgs on a copy of text (nullptr: no text) with one output per letter of kinds,
// 't' text and 'i' integer (by default the kinds the signature asks for). Returns
// "count:out,out" with "~" for an output left unwritten and, with withRest, "|rest" after
// it; or "!code" when it raises a script error.
inline std::string ParseAs(CScriptEngine& engine, const char* text, const char* signature,
                           std::string kinds = "", bool withRest = false) {
    if (kinds.empty()) {
        for (const char* c = signature; *c; ++c) kinds += (*c == 'd' || *c == 'D') ? 'i' : 't';
    }
    std::string buffer = text ? text : "";
    std::vector<const char*> texts(kinds.size(), nullptr);
    std::vector<int> ints(kinds.size(), -999);
    std::vector<parse_args_detail::Output> outputs;
    for (size_t i = 0; i < kinds.size(); ++i) {
        outputs.push_back(kinds[i] == 'i' ? parse_args_detail::Wrap(&ints[i])
                                          : parse_args_detail::Wrap(&texts[i]));
    }
    outputs.push_back({parse_args_detail::Output::kNone, nullptr});
    char* rest = nullptr;
    int count = 0;
    const int error = ErrorOf([&] {
        count = parse_args_detail::Parse(engine, text ? buffer.data() : nullptr,
                                         withRest ? &rest : nullptr, signature, outputs.data(),
                                         static_cast<int>(kinds.size()));
    });
    if (error) return "!" + std::to_string(error);
    std::string out = std::to_string(count) + ":";
    for (size_t i = 0; i < kinds.size(); ++i) {
        if (i) out += ",";
        if (kinds[i] == 'i') out += ints[i] == -999 ? "~" : std::to_string(ints[i]);
        if (kinds[i] == 't') out += texts[i] ? texts[i] : "~";
    }
    if (withRest) out += std::string("|") + (rest ? rest : "~");
    return out;
}

}  // namespace engine_test
