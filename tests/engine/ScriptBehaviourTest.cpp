// Runs every installation file under tests/data/lang. Each file states what it must do in
// comment lines of its own:
//   ; expect: N              Main returns N
//   ; expect error: N        loading or running Main raises script error N
//   ; expect line: N         afterwards the current line is file line N (counted from 1)
//   ; expect var NAME: text  afterwards GetVar(NAME) is text
//   ; expect procs: A=1,2 .. afterwards the procedure table holds these entries
//   ; run: Proc              call Proc instead of Main
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "engine/ScriptEngine.h"
#include "install/SilentInstallHost.h"
#include "tests/engine/EngineTestSupport.h"

namespace {

// The expectation lines of a file: "result", "error", "line", "procs", "run" or
// "var NAME", each mapped to the text after its colon.
std::multimap<std::string, std::string> ReadExpectations(const std::filesystem::path& path) {
    std::multimap<std::string, std::string> e;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        const size_t colon = line.find(':');
        std::string key;
        if (line.rfind("; expect ", 0) == 0 && colon != std::string::npos) {
            key = line.substr(9, colon - 9);
        } else if (line.rfind("; expect:", 0) == 0) {
            key = "result";
        } else if (line.rfind("; run:", 0) == 0) {
            key = "run";
        } else {
            continue;
        }
        e.emplace(key, line.substr(std::min(line.size(), colon + 2)));
    }
    return e;
}

std::vector<std::string> ScriptFiles() {
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& entry :
         std::filesystem::directory_iterator(engine_test::DataPath("lang"), ec)) {
        if (entry.path().extension() == ".pxf") files.push_back(entry.path().stem().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

class ScriptBehaviour : public testing::TestWithParam<std::string> {};

TEST_P(ScriptBehaviour, DoesWhatItsCommentsSay) {
    const std::string path = engine_test::DataPath("lang/" + GetParam() + ".pxf").string();
    const auto expect = ReadExpectations(path);
    auto value = [&](const std::string& key, const std::string& otherwise) {
        auto it = expect.find(key);
        return it == expect.end() ? otherwise : it->second;
    };
    ASSERT_TRUE(expect.count("result") || expect.count("error")) << "no expectation";

    CScriptEngine engine;
    CSilentInstallHost host;
    engine.SetHost(&host);
    int result = 0;
    const int error = engine_test::ErrorOf([&] {
        engine.Load(path.c_str());
        result = engine.CallProc(value("run", "Main").c_str());
    });

    EXPECT_EQ(error, std::stoi(value("error", "0")));
    if (error == 0) {
        EXPECT_EQ(result, std::stoi(value("result", "0")));
    }
    if (expect.count("line")) {
        EXPECT_EQ(engine.GetCurrentLine() + 1, std::stoi(value("line", "")));
    }
    EXPECT_EQ(engine.GetCallDepth(), 0);
    if (expect.count("procs")) {
        std::string procs;
        for (int i = 0; i < engine.GetProcTable().GetCount(); ++i) {
            procs += (i ? " " : "") + std::string(engine.GetProcTable().GetAt(i));
        }
        EXPECT_EQ(procs, value("procs", ""));
    }
    for (const auto& [key, text] : expect) {
        if (key.rfind("var ", 0) != 0) continue;
        std::string actual = "<unknown>";
        const std::string name = key.substr(4);  // a structured binding cannot be captured
        engine_test::ErrorOf([&] { actual = engine.GetVar(name.c_str()); });
        EXPECT_EQ(actual, text) << key;
    }
}

INSTANTIATE_TEST_SUITE_P(Lang, ScriptBehaviour, testing::ValuesIn(ScriptFiles()));

TEST(ScriptBehaviourFiles, AreFound) {
    EXPECT_GE(ScriptFiles().size(), 30u);
}

}  // namespace
