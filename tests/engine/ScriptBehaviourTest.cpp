// Runs every installation file under tests/data/lang. Each file states what it must do in
// comment lines of its own:
//   ; expect: N              Main returns N
//   ; expect error: N        loading or running Main raises script error N
//   ; expect line: N         afterwards the current line is file line N (counted from 1)
//   ; expect var NAME: text  afterwards GetVar(NAME) is text
//   ; run: Proc              call Proc instead of Main
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "engine/ScriptEngine.h"
#include "install/SilentInstallHost.h"
#include "tests/engine/EngineTestSupport.h"

namespace {

struct Expectations {
    bool hasResult = false;
    int result = 0;
    int error = 0;
    int line = 0;  // 1-based; 0: not checked
    std::string run = "Main";
    std::vector<std::pair<std::string, std::string>> vars;
};

std::string Trim(std::string s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) s.pop_back();
    size_t b = s.find_first_not_of(" \t");
    return b == std::string::npos ? std::string() : s.substr(b);
}

Expectations ReadExpectations(const std::filesystem::path& path) {
    Expectations e;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        line = Trim(line);
        auto after = [&](const std::string& prefix, std::string* rest) {
            if (line.compare(0, prefix.size(), prefix) != 0) return false;
            *rest = Trim(line.substr(prefix.size()));
            return true;
        };
        std::string rest;
        if (after("; expect:", &rest)) {
            e.hasResult = true;
            e.result = std::stoi(rest);
        } else if (after("; expect error:", &rest)) {
            e.error = std::stoi(rest);
        } else if (after("; expect line:", &rest)) {
            e.line = std::stoi(rest);
        } else if (after("; run:", &rest)) {
            e.run = rest;
        } else if (after("; expect var ", &rest)) {
            size_t colon = rest.find(':');
            if (colon == std::string::npos) continue;
            std::string value = rest.size() > colon + 1 ? rest.substr(colon + 1) : "";
            if (!value.empty() && value[0] == ' ') value.erase(0, 1);
            e.vars.emplace_back(rest.substr(0, colon), value);
        }
    }
    return e;
}

std::vector<std::string> ScriptFiles() {
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& entry :
         std::filesystem::directory_iterator(engine_test::DataPath("lang"), ec)) {
        if (entry.path().extension() == ".pxf") files.push_back(entry.path().filename().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

class ScriptBehaviour : public testing::TestWithParam<std::string> {};

TEST_P(ScriptBehaviour, DoesWhatItsCommentsSay) {
    const std::filesystem::path path = engine_test::DataPath("lang") / GetParam();
    const Expectations expect = ReadExpectations(path);
    ASSERT_TRUE(expect.hasResult || expect.error != 0) << "no expectation in " << path;

    CScriptEngine engine;
    CSilentInstallHost host;
    engine.SetHost(&host);
    int result = 0;
    int error = engine_test::ErrorOf([&] {
        engine.Load(path.string().c_str());
        result = engine.CallProc(expect.run.c_str());
    });

    EXPECT_EQ(error, expect.error);
    if (expect.hasResult && error == 0) {
        EXPECT_EQ(result, expect.result);
    }
    if (expect.line) {
        EXPECT_EQ(engine.GetCurrentLine() + 1, expect.line);
    }
    EXPECT_EQ(engine.GetCallDepth(), 0);
    for (const auto& [name, value] : expect.vars) {
        const char* actual = nullptr;
        EXPECT_EQ(engine_test::ErrorOf([&] { actual = engine.GetVar(name.c_str()); }), 0)
            << "variable " << name;
        if (actual) {
            EXPECT_EQ(std::string(actual), value) << "variable " << name;
        }
    }
}

std::string TestName(const testing::TestParamInfo<std::string>& info) {
    std::string name = info.param.substr(0, info.param.rfind('.'));
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Lang, ScriptBehaviour, testing::ValuesIn(ScriptFiles()), TestName);

TEST(ScriptBehaviourFiles, AreFound) {
    EXPECT_GE(ScriptFiles().size(), 30u);
}

}  // namespace
