// Tokens, words, integers, variable references, labels, and argument signatures.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/ScriptEngine.h"
#include "engine/Tokenizer.h"
#include "tests/engine/EngineTestSupport.h"

using engine_test::ErrorOf;

namespace {

// All tokens of an argument list, "<null>" marking where NextToken reported the end.
std::vector<std::string> Tokens(std::string text) {
    std::vector<std::string> out;
    char* pos = text.data();
    while (pos) {
        char* next = nullptr;
        char* token = NextToken(pos, &next);
        if (!token) {
            out.push_back("<null>");
            break;
        }
        out.push_back(token);
        pos = next;
    }
    return out;
}

int TokenError(std::string text) {
    return ErrorOf([&] { Tokens(text); });
}

using V = std::vector<std::string>;

}  // namespace

TEST(NextToken, CutsQuotedAndUnquotedTokens) {
    EXPECT_EQ(Tokens("  a , b,c  "), (V{"a", "b", "c"}));
    EXPECT_EQ(Tokens("\" a, b \" , x"), (V{" a, b ", "x"}));  // quoted: kept whole
    EXPECT_EQ(Tokens("a,,b,"), (V{"a", "", "b", "<null>"}));  // nothing after the last comma
    EXPECT_EQ(Tokens("\"\""), (V{""}));
    EXPECT_EQ(Tokens("ab\"cd\"ef"), (V{"ab\"cd\"ef"}));  // quotes inside: its own text
    EXPECT_EQ(Tokens("a ; b, c"), (V{"a"}));             // a ";" ends the list
    EXPECT_EQ(Tokens(""), (V{"<null>"}));
    EXPECT_EQ(Tokens("   ; comment"), (V{"<null>"}));
    EXPECT_EQ(Tokens("\"a\" ; c"), (V{"a"}));
}

TEST(NextToken, ResolvesEscapesInsideAndOutsideQuotes) {
    EXPECT_EQ(Tokens("a##b, c#;d, e#\"f"), (V{"a#b", "c;d", "e\"f"}));
    EXPECT_EQ(Tokens("\"x#\"y#;z##\""), (V{"x\"y;z#"}));
    EXPECT_EQ(Tokens("#x, \"#y\""), (V{"#x", "#y"}));  // a lone "#" stays
}

TEST(NextToken, RejectsBadQuoting) {
    EXPECT_EQ(TokenError("\"abc"), 10);
    EXPECT_EQ(TokenError("\"abc#\""), 10);  // the escaped quote does not close
    EXPECT_EQ(TokenError("\"abc\"def"), 8);
    EXPECT_EQ(TokenError("\"abc\" def, x"), 8);
    EXPECT_EQ(TokenError("\"abc\"  , x"), 0);
}

TEST(NextToken, LeavesNextAloneAtTheEnd) {
    char text[] = "   ";
    char* next = text + 1;
    EXPECT_EQ(NextToken(text, &next), nullptr);
    EXPECT_EQ(next, text + 1);
}

TEST(SplitWord, TakesTheFirstWordAndTheRest) {
    // "word|rest", "~" for no rest.
    auto split = [](std::string line, const char* delimiters) {
        std::string word;
        const char* rest = SplitWord(line.data(), delimiters, word);
        return word + "|" + (rest ? rest : "~");
    };
    EXPECT_EQ(split("  copy \t a, b", " \t"), "copy|a, b");
    EXPECT_EQ(split("endp", " \t"), "endp|~");
    EXPECT_EQ(split("   ", " \t"), "|~");
    EXPECT_EQ(split("Main;comment", " \t;"), "Main|comment");
    EXPECT_EQ(ErrorOf([&] { split(std::string(255, 'w'), " "); }), 0);
    EXPECT_EQ(ErrorOf([&] { split(std::string(256, 'w'), " "); }), 9);
}

TEST(ParseInt, ReadsDecimalAndHexWhole) {
    struct Case {
        const char* text;
        bool ok;
        int value;
    } cases[] = {
        {"", true, 0},
        {"-42", true, -42},
        {"+7", true, 7},
        {" 5", true, 5},
        {"0X1f", true, 31},
        {"2147483648", true, 2147483647},
        {"-2147483649", true, -2147483647 - 1},
        {"99999999999999999999999", true, 2147483647},
        {"5 ", false, 0},
        {"abc", false, 0},
        {"0x", true, 0},
        {"0xG", false, 0},
        {"1.5", false, 0},
    };
    for (const Case& c : cases) {
        int out = -999;
        EXPECT_EQ(ParseInt(c.text, &out), c.ok) << c.text;
        EXPECT_EQ(out, c.ok ? c.value : -999) << c.text;
    }
    int out = 0;
    EXPECT_FALSE(ParseInt(nullptr, &out));
    // Variables read as integers take only their leading number.
    for (auto [text, value] : {std::pair{"12abc", 12},
                               {"0x10", 0},
                               {"", 0},
                               {"  -3", -3},
                               {"abc", 0},
                               {"9999999999", 2147483647}}) {
        EXPECT_EQ(LeadingInt(text), value) << text;
    }
}

TEST(IsVarRef, AcceptsOnlyDollarAndAPlainName) {
    for (const char* yes : {"$a", "$1", "$a=b"}) EXPECT_TRUE(IsVarRef(yes)) << yes;
    for (const char* no : {"$", "a", "$a b", "$a\tb", "$a\"b", "$a;b", "$a#b", "$a$b"}) {
        EXPECT_FALSE(IsVarRef(no)) << no;
    }
    EXPECT_FALSE(IsVarRef(nullptr));
}

TEST(Labels, EndAtTheFirstColonWithNoBlankOrSemicolonBefore) {
    for (auto [line, length] : {std::pair{"loop: set $a, 1", 4},
                                {"loop:", 4},
                                {"set\t$a,C:\\x", 8},  // a tab does not end a label
                                {"set $a, \"C:\\x\"", 0},
                                {"a#;b: x", 0},
                                {":x", 0},
                                {"no colon", 0}}) {
        EXPECT_EQ(LabelLength(line), length) << line;
    }
    char line[] = "again:   goto x";
    EXPECT_STREQ(ParseLabel(line), "goto x");
    char plain[] = "set $a, 1";
    EXPECT_EQ(ParseLabel(plain), plain);
    char colon[] = ":x";
    EXPECT_EQ(ErrorOf([&] { ParseLabel(colon); }), 3);
    std::string longest = std::string(255, 'l') + ":";
    EXPECT_EQ(ErrorOf([&] { ParseLabel(longest.data()); }), 0);
    std::string tooLong = std::string(256, 'l') + ":";
    EXPECT_EQ(ErrorOf([&] { ParseLabel(tooLong.data()); }), 9);
}

TEST(ParseArgs, FollowsTheSignatureLetters) {
    CScriptEngine engine;
    engine.SetGlobalVar("num", "0x10");
    engine.SetGlobalVar("empty", "");
    engine.SetGlobalVar("text", "from var");
    struct Case {
        const char* text;
        const char* signature;
        const char* want;  // as engine_test::ParseAs gives it
    } cases[] = {
        // Optional arguments count as letters reached; absent ones stay unwritten.
        {"$x", "vS", "1:x,~"},
        {"$x,", "vS", "1:x,~"},
        {"$x, \"\"", "vS", "2:x,"},
        {"$x, ,", "vS", "2:x,~"},
        {nullptr, "D", "0:~"},
        {"\"\"", "D", "1:0"},
        {"0x1F", "D", "1:31"},
        {"$num", "D", "1:16"},
        {"$empty", "d", "1:0"},
        {"\"12 \"", "D", "!5"},
        {"", "d", "!8"},
        {",5", "dd", "!8"},  // an empty required argument
        // References are evaluated only when unquoted; an empty value is present.
        {"$text, \"$text\"", "ss", "2:from var,$text"},
        {"$nosuch", "s", "!1"},
        {"\"$nosuch\"", "s", "1:$nosuch"},
        {"$empty", "s", "1:"},
        // "v" takes an unquoted reference and does not evaluate it.
        {"x", "v", "!3"},
        {"\"$x\"", "v", "!3"},
        {"$nosuch", "v", "1:nosuch"},
        {"", "v", "!8"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(engine_test::ParseAs(engine, c.text, c.signature), c.want)
            << (c.text ? c.text : "<null>") << " / " << c.signature;
    }
    // With room for the rest, extra text is handed back instead of failing.
    EXPECT_EQ(engine_test::ParseAs(engine, "$r, if x, y", "v", "", true), "1:r|if x, y");
    EXPECT_EQ(engine_test::ParseAs(engine, "$r", "v", "", true), "1:r|~");
}

TEST(ParseArgs, ChecksOutputsAgainstTheSignature) {
    CScriptEngine engine;
    std::string buffer = "1";
    const char* text = nullptr;
    int n = 0;
    EXPECT_EQ(ErrorOf([&] { ParseArgs(engine, buffer.data(), nullptr, "d", &text); }), 8);
    EXPECT_EQ(ErrorOf([&] { ParseArgs(engine, buffer.data(), nullptr, "s", &n); }), 8);
    EXPECT_EQ(ErrorOf([&] { ParseArgs(engine, buffer.data(), nullptr, "ss", &text); }), 8);
    EXPECT_EQ(ErrorOf([&] { ParseArgs(engine, buffer.data(), nullptr, "s", &text, &n); }), 8);
    EXPECT_EQ(text, nullptr);  // nothing written before the check failed
}
