// Below the language: tokens and their escapes, integers, and argument signatures.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/ScriptEngine.h"
#include "engine/Tokenizer.h"
#include "tests/engine/EngineTestSupport.h"

using engine_test::ErrorOf;

// All tokens of an argument list joined by "|", "<end>" where NextToken reported the end,
// or "!code".
std::string Tokens(std::string text) {
    std::string out;
    const int error = ErrorOf([&] {
        for (char* pos = text.data(); pos;) {
            char* next = nullptr;
            char* token = NextToken(pos, &next);
            out += (out.empty() ? "" : "|") + std::string(token ? token : "<end>");
            if (!token) break;
            pos = next;
        }
    });
    return error ? "!" + std::to_string(error) : out;
}

TEST(NextToken, CutsTokensAndResolvesEscapes) {
    const std::pair<const char*, const char*> cases[] = {
        {"  a , b,c  ", "a|b|c"},      {"\" a, b \" , x", " a, b |x"},
        {"a,,b,", "a||b|<end>"},       {"a ; b, c", "a"},
        {"   ; comment", "<end>"},     {"a##b, c#;d, e#\"f", "a#b|c;d|e\"f"},
        {"\"x#\"y#;z##\"", "x\"y;z#"}, {"#x, \"#y\"", "#x|#y"},
        {"\"abc#\"", "!10"},           {"\"abc\" def, x", "!8"},
    };
    for (const auto& [text, tokens] : cases) EXPECT_EQ(Tokens(text), tokens) << text;
}

TEST(ParseInt, ReadsDecimalAndHexWholeAndClamps) {
    const std::pair<const char*, int> cases[] = {
        {"", 0},
        {"-42", -42},
        {"+7", 7},
        {" 5", 5},
        {"0X1f", 31},
        {"2147483648", 2147483647},
        {"-2147483649", -2147483647 - 1},
        {"0x", 0},
        {"5 ", -999},
        {"0xG", -999},
        {"1.5", -999},
    };
    for (const auto& [text, value] : cases) {
        int out = -999;
        EXPECT_EQ(ParseInt(text, &out), value != -999) << text;
        EXPECT_EQ(out, value) << text;
    }
    // Variables read as integers take only their leading decimal number.
    for (auto [text, value] :
         {std::pair{"12abc", 12}, {"0x10", 0}, {"  -3", -3}, {"9999999999", 2147483647}}) {
        EXPECT_EQ(LeadingInt(text), value) << text;
    }
}

TEST(ParseArgs, FollowsTheSignatureLetters) {
    CScriptEngine engine;
    engine.SetGlobalVar("num", "0x10");
    engine.SetGlobalVar("empty", "");
    engine.SetGlobalVar("text", "from var");
    const struct {
        const char* text;
        const char* signature;
        const char* want;  // as engine_test::ParseAs gives it
    } cases[] = {
        // Optional arguments count as letters reached; absent ones stay unwritten.
        {"$x", "vS", "1:x,~"},
        {"$x, \"\"", "vS", "2:x,"},
        {"$x, ,", "vS", "2:x,~"},
        {nullptr, "D", "0:~"},
        {"\"\"", "D", "1:0"},
        {"$num", "D", "1:16"},
        {"$empty", "d", "1:0"},
        {"\"12 \"", "D", "!5"},
        {"", "d", "!8"},
        {",5", "dd", "!8"},
        {"$text, \"$text\"", "ss", "2:from var,$text"},
        {"$empty", "s", "1:"},
        {"x", "v", "!3"},
        {"\"$x\"", "v", "!3"},
        {"$nosuch", "v", "1:nosuch"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(engine_test::ParseAs(engine, c.text, c.signature), c.want)
            << (c.text ? c.text : "<null>") << " / " << c.signature;
    }
    // With room for the rest, extra text is handed back instead of failing.
    EXPECT_EQ(engine_test::ParseAs(engine, "$r, if x, y", "v", "", true), "1:r|if x, y");
    // Outputs that do not match the signature fail before anything is written.
    std::string buffer = "1";
    const char* text = nullptr;
    int n = 0;
    EXPECT_EQ(ErrorOf([&] { ParseArgs(engine, buffer.data(), nullptr, "d", &text); }), 8);
    EXPECT_EQ(ErrorOf([&] { ParseArgs(engine, buffer.data(), nullptr, "s", &text, &n); }), 8);
    EXPECT_EQ(text, nullptr);
}
