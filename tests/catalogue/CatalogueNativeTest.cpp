// The catalogue's topics of the language and of the string and integer commands, run in the
// native build: the engine core with those commands only, and no machine of its own.
#include <gtest/gtest.h>

#include "tests/catalogue/Catalogue.h"

namespace {

class NoMachine : public catalogue::Sandbox {
public:
    void Prepare(CScriptEngine&) override {}
};

class CoreCatalogue : public testing::TestWithParam<catalogue::Behaviour> {};

TEST_P(CoreCatalogue, DoesWhatItsCommentsSay) {
    NoMachine sandbox;
    EXPECT_EQ(catalogue::Run(GetParam(), sandbox), "");
}

INSTANTIATE_TEST_SUITE_P(Topics, CoreCatalogue,
                         testing::ValuesIn(catalogue::ReadBehaviours(
                             TOLV_CATALOGUE, {"expansion", "flow", "scope", "statements", "data"})),
                         [](const auto& info) { return catalogue::TestName(info.param); });

}  // namespace
