// The catalogue's topics of the language and of the string and integer commands, run in the
// native build: the engine core with those commands only, and no machine of its own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/ScriptEngine.h"
#include "tests/catalogue/Catalogue.h"

namespace {

class NoMachine : public catalogue::Sandbox {
public:
    void Prepare(CScriptEngine&) override {}
};

std::vector<catalogue::Behaviour> CoreBehaviours() {
    std::vector<catalogue::Behaviour> all;
    for (const char* topic : {"expansion", "flow", "scope", "statements", "data"}) {
        const std::string path = std::string(TOLV_CATALOGUE) + "/" + topic + ".pxf";
        for (const auto& b : catalogue::ReadBehaviours(path)) all.push_back(b);
    }
    return all;
}

class CoreCatalogue : public testing::TestWithParam<catalogue::Behaviour> {};

TEST_P(CoreCatalogue, DoesWhatItsCommentsSay) {
    const catalogue::Behaviour& b = GetParam();
    NoMachine sandbox;
    catalogue::RecordingHost host;
    CScriptEngine engine;
    engine.SetHost(&host);
    EXPECT_EQ(catalogue::Run(b, engine, sandbox), "")
        << b.file << ":" << b.line << ": proc " << b.name;
}

INSTANTIATE_TEST_SUITE_P(Topics, CoreCatalogue, testing::ValuesIn(CoreBehaviours()),
                         [](const auto& info) { return catalogue::TestName(info.param); });

}  // namespace
