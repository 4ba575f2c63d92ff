// Tokens, words, integers, variable references, labels, and argument signatures.
#include <gtest/gtest.h>

#include <string>
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
    std::string word;
    char line[] = "  copy \t a, b";
    char* rest = SplitWord(line, " \t", word);
    EXPECT_EQ(word, "copy");
    EXPECT_STREQ(rest, "a, b");

    char single[] = "endp";
    EXPECT_EQ(SplitWord(single, " \t", word), nullptr);
    EXPECT_EQ(word, "endp");

    char blank[] = "   ";
    EXPECT_EQ(SplitWord(blank, " \t", word), nullptr);
    EXPECT_EQ(word, "");

    char name[] = "Main;comment";
    EXPECT_STREQ(SplitWord(name, " \t;", word), "comment");
    EXPECT_EQ(word, "Main");

    std::string longest(255, 'w');
    EXPECT_EQ(ErrorOf([&] { SplitWord(longest.data(), " ", word); }), 0);
    std::string tooLong(256, 'w');
    EXPECT_EQ(ErrorOf([&] { SplitWord(tooLong.data(), " ", word); }), 9);
}

TEST(ParseInt, ReadsDecimalAndHexWhole) {
    struct Case {
        const char* text;
        bool ok;
        int value;
    } cases[] = {
        {"0", true, 0},
        {"", true, 0},
        {"-42", true, -42},
        {"+7", true, 7},
        {" 5", true, 5},
        {"010", true, 10},
        {"0x1F", true, 31},
        {"0X1f", true, 31},
        {"0xFFFFFFFF", true, 2147483647},
        {"2147483648", true, 2147483647},
        {"-2147483649", true, -2147483647 - 1},
        {"99999999999999999999999", true, 2147483647},
        {"12abc", false, 0},
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
}

TEST(LeadingInt, ReadsTheLeadingNumberOnly) {
    EXPECT_EQ(LeadingInt("12abc"), 12);
    EXPECT_EQ(LeadingInt("0x10"), 0);
    EXPECT_EQ(LeadingInt(""), 0);
    EXPECT_EQ(LeadingInt("  -3"), -3);
    EXPECT_EQ(LeadingInt("abc"), 0);
    EXPECT_EQ(LeadingInt("9999999999"), 2147483647);
}

TEST(IsVarRef, AcceptsOnlyDollarAndAPlainName) {
    EXPECT_TRUE(IsVarRef("$a"));
    EXPECT_TRUE(IsVarRef("$1"));
    EXPECT_TRUE(IsVarRef("$a=b"));
    EXPECT_FALSE(IsVarRef("$"));
    EXPECT_FALSE(IsVarRef("a"));
    EXPECT_FALSE(IsVarRef("$a b"));
    EXPECT_FALSE(IsVarRef("$a\tb"));
    EXPECT_FALSE(IsVarRef("$a\"b"));
    EXPECT_FALSE(IsVarRef("$a;b"));
    EXPECT_FALSE(IsVarRef("$a#b"));
    EXPECT_FALSE(IsVarRef("$a$b"));
    EXPECT_FALSE(IsVarRef(nullptr));
}

TEST(Labels, EndAtTheFirstColonWithNoBlankOrSemicolonBefore) {
    EXPECT_EQ(LabelLength("loop: set $a, 1"), 4);
    EXPECT_EQ(LabelLength("loop:"), 4);
    EXPECT_EQ(LabelLength("set\t$a,C:\\x"), 8);  // a tab does not end a label
    EXPECT_EQ(LabelLength("set $a, \"C:\\x\""), 0);
    EXPECT_EQ(LabelLength("a#;b: x"), 0);
    EXPECT_EQ(LabelLength(":x"), 0);
    EXPECT_EQ(LabelLength("no colon"), 0);

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

// ---------------------------------------------------------------------------------------
// ParseArgs

class ParseArgsTest : public testing::Test {
protected:
    void SetUp() override {
        engine.SetGlobalVar("num", "0x10");
        engine.SetGlobalVar("empty", "");
        engine.SetGlobalVar("text", "from var");
    }
    // Parses text (copied, as the line buffer would be) and returns the error, if any.
    template <typename... Outs>
    int Parse(const char* text, const char* signature, int* count, Outs... outs) {
        buffer = text;
        return ErrorOf(
            [&] { *count = ParseArgs(engine, buffer.data(), nullptr, signature, outs...); });
    }

    CScriptEngine engine;
    std::string buffer;
    int count = -1;
};

TEST_F(ParseArgsTest, CountsOptionalArgumentsAsSignatureLetters) {
    const char* name = nullptr;
    const char* value = "default";
    EXPECT_EQ(Parse("$x", "vS", &count, &name, &value), 0);
    EXPECT_EQ(count, 1);
    EXPECT_STREQ(name, "x");
    EXPECT_STREQ(value, "default");

    EXPECT_EQ(Parse("$x,", "vS", &count, &name, &value), 0);
    EXPECT_EQ(count, 1);

    EXPECT_EQ(Parse("$x, \"\"", "vS", &count, &name, &value), 0);
    EXPECT_EQ(count, 2);
    EXPECT_STREQ(value, "");

    value = "default";
    EXPECT_EQ(Parse("$x, ,", "vS", &count, &name, &value), 0);  // present but absent
    EXPECT_EQ(count, 2);
    EXPECT_STREQ(value, "default");

    EXPECT_EQ(Parse("$x, a, b", "vS", &count, &name, &value), 3);  // surplus
}

TEST_F(ParseArgsTest, ReadsIntegersAndLeavesAbsentOnesUntouched) {
    int n = 99;
    EXPECT_EQ(ErrorOf([&] { count = ParseArgs(engine, nullptr, nullptr, "D", &n); }), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(n, 99);
    EXPECT_EQ(Parse("\"\"", "D", &count, &n), 0);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(Parse("0x1F", "D", &count, &n), 0);
    EXPECT_EQ(n, 31);
    EXPECT_EQ(Parse("010", "D", &count, &n), 0);
    EXPECT_EQ(n, 10);
    EXPECT_EQ(Parse("$num", "D", &count, &n), 0);
    EXPECT_EQ(n, 16);
    EXPECT_EQ(Parse("$empty", "d", &count, &n), 0);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(Parse("12abc", "D", &count, &n), 5);
    EXPECT_EQ(Parse("\"12 \"", "D", &count, &n), 5);
    EXPECT_EQ(Parse("", "d", &count, &n), 8);
    EXPECT_EQ(Parse(",5", "dd", &count, &n, &n), 8);  // an empty required argument
}

TEST_F(ParseArgsTest, EvaluatesReferencesOnlyWhenUnquoted) {
    const char* a = nullptr;
    const char* b = nullptr;
    EXPECT_EQ(Parse("$text, \"$text\"", "ss", &count, &a, &b), 0);
    EXPECT_STREQ(a, "from var");
    EXPECT_STREQ(b, "$text");
    EXPECT_EQ(Parse("$nosuch", "s", &count, &a), 1);
    EXPECT_EQ(Parse("\"$nosuch\"", "s", &count, &a), 0);
    EXPECT_EQ(Parse("$empty", "s", &count, &a), 0);  // a variable's empty value is present
    EXPECT_STREQ(a, "");
    EXPECT_EQ(Parse("\"a\"b", "s", &count, &a), 8);
}

TEST_F(ParseArgsTest, RequiresVariableReferencesForV) {
    const char* name = nullptr;
    EXPECT_EQ(Parse("x", "v", &count, &name), 3);
    // A quoted reference is a text, not a variable.
    EXPECT_EQ(Parse("\"$x\"", "v", &count, &name), 3);
    EXPECT_EQ(Parse("$nosuch", "v", &count, &name), 0);  // not evaluated
    EXPECT_STREQ(name, "nosuch");
    EXPECT_EQ(Parse("", "v", &count, &name), 8);
}

TEST_F(ParseArgsTest, HandsBackTheRestWhenAsked) {
    const char* name = nullptr;
    char* rest = nullptr;
    buffer = "$r, if x, y";
    EXPECT_EQ(ParseArgs(engine, buffer.data(), &rest, "v", &name), 1);
    EXPECT_STREQ(name, "r");
    EXPECT_STREQ(rest, "if x, y");
    buffer = "$r";
    ParseArgs(engine, buffer.data(), &rest, "v", &name);
    EXPECT_EQ(rest, nullptr);
}

TEST_F(ParseArgsTest, ChecksOutputsAgainstTheSignature) {
    const char* text = nullptr;
    int n = 0;
    EXPECT_EQ(Parse("1", "d", &count, &text), 8);   // text output for an integer letter
    EXPECT_EQ(Parse("a", "s", &count, &n), 8);      // integer output for a text letter
    EXPECT_EQ(Parse("a", "ss", &count, &text), 8);  // fewer outputs than letters
    EXPECT_EQ(Parse("a", "s", &count, &text, &n), 8);
    EXPECT_EQ(text, nullptr);  // nothing written before the check failed
}
