// Integer and text commands, one statement per case: the variable $x is preset, the
// statement runs, and its result or error and the value of $x afterwards are checked.
#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>

#include "commands/CommandTables.h"
#include "tests/engine/EngineTestSupport.h"

using engine_test::ErrorOf;

namespace {

constexpr char kUnchanged[] = "<unchanged>";

struct Case {
    const char* x;          // value of $x before the statement
    const char* statement;  // run with ExecuteStatement
    int result;             // expected result when error is 0
    int error;              // expected script error code, 0 for none
    const char* after;      // expected $x afterwards; kUnchanged: as before
};

std::ostream& operator<<(std::ostream& out, const Case& c) {
    return out << "[$x=" << c.x << "] " << c.statement;
}

class DataCommands : public testing::Test {
protected:
    DataCommands() { engine.RegisterCommands(kDataCommands); }
    // Runs a statement; returns its script error code (0 for none).
    int Run(const std::string& statement, int* result = nullptr) {
        line = statement;
        int ignored = 0;
        return ErrorOf(
            [&] { (result ? *result : ignored) = engine.ExecuteStatement(line.data()); });
    }

    CScriptEngine engine;
    std::string line;
};

class DataCommandCase : public DataCommands, public testing::WithParamInterface<Case> {};

TEST_P(DataCommandCase, GivesItsResultAndValue) {
    const Case& c = GetParam();
    engine.SetVar("x", c.x);
    int result = 0;
    EXPECT_EQ(Run(c.statement, &result), c.error);
    if (c.error == 0) {
        EXPECT_EQ(result, c.result);
    }
    EXPECT_EQ(std::string(engine.GetVar("x")), c.after == kUnchanged ? c.x : c.after);
}

// clang-format off
const Case kArithmetic[] = {
    {"abc",         "intadd $x",              1,       0, "1"},
    {"12abc",       "intadd $x, 0x10",        28,      0, "28"},
    {"10",          "intsub $x",              9,       0, "9"},
    {"2147483647",  "intadd $x, 1",           INT_MIN, 0, "-2147483648"},
    {"-2147483648", "intsub $x",              INT_MAX, 0, "2147483647"},
    {"65536",       "intmul $x, 65537",       65536,   0, "65536"},
    {"-7",          "intdiv $x, 2",           -3,      0, "-3"},
    {"-7",          "intmod $x, 2",           -1,      0, "-1"},
    {"7",           "intmod $x, -2",          1,       0, "1"},
    {"-2147483648", "intdiv $x, -1",          INT_MIN, 0, "-2147483648"},
    {"-2147483648", "intmod $x, -1",          0,       0, "0"},
    {"5",           "intdiv $x, 0",           0,       8, kUnchanged},
    {"5",           "intmod $x, 0",           0,       8, kUnchanged},
    {"5",           "intmul $x",              0,       8, kUnchanged},
    {"5",           "intadd $x, 1, 2",        0,       3, kUnchanged},
    {"5",           "intadd x",               0,       3, kUnchanged},
};
INSTANTIATE_TEST_SUITE_P(Arithmetic, DataCommandCase, testing::ValuesIn(kArithmetic));

const Case kComparisons[] = {
    {"", "intcmp 5, >=, 5",                   1, 0, kUnchanged},
    // The difference wraps: 2147483647 - (-1) is negative in 32 bits.
    {"", "intcmp 2147483647, >, -1",          0, 0, kUnchanged},
    {"", "intcmp 5, ==, 5",                   0, 3, kUnchanged},
    {"", "intcmp 5, \" =\", 5",               0, 3, kUnchanged},
    {"", "strcmp abc, =, abd, 2",             1, 0, kUnchanged},
    {"", "strcmp abc, =, abd",                0, 0, kUnchanged},
    {"", "strcmp abc, =, abd, 0",             0, 0, kUnchanged},
    {"", "strcmp abc, =, abd, -1",            0, 0, kUnchanged},
    {"", "strcmp abc, =, abd, 4096",          0, 0, kUnchanged},
    {"", "strcmp ab, <, abc",                 1, 0, kUnchanged},
    {"", "strcmp ab, <, abc, 3",              1, 0, kUnchanged},
    {"", "strcmp ABC, =, abc",                0, 0, kUnchanged},
    {"", "stricmp ABC, =, abc",               1, 0, kUnchanged},
    {"", "stricmp ABx, =, abY, 2",            1, 0, kUnchanged},
    {"", "stricmp ABx, =, abY, 4096",         0, 0, kUnchanged},
    // Bytes compare unsigned; letters fold to lower case, which sorts "_" (0x5F) first.
    {"\xE9", "strcmp $x, >, z",              1, 0, kUnchanged},
    {"\xE9", "stricmp $x, >, Z",             1, 0, kUnchanged},
    {"", "stricmp _, <, A",                   1, 0, kUnchanged},
    {"", "strcmp a, !=, b",                   0, 3, kUnchanged},
    {"", "strcmp a, =",                       0, 8, kUnchanged},
};
INSTANTIATE_TEST_SUITE_P(Comparisons, DataCommandCase, testing::ValuesIn(kComparisons));

const Case kTexts[] = {
    {"",        "strlen abcdef",              6, 0, kUnchanged},
    {"",        "strlen \"\"",                0, 0, kUnchanged},
    {"",        "strpos abcabc, c",           3, 0, kUnchanged},
    {"",        "strpos abcabc, x",           0, 0, kUnchanged},
    {"",        "strpos abc, \"\"",           1, 0, kUnchanged},
    {"C:\\",    "strcat $x, temp",            1, 0, "C:\\temp"},
    {"ab",      "strcat $x, $x",              1, 0, "abab"},
    {"",        "strget $x, abcdef, 3, 2",    1, 0, "cd"},
    {"",        "strget $x, abcdef, 6, 9",    1, 0, "f"},
    {"old",     "strget $x, abcdef, 7",       1, 0, ""},
    {"old",     "strget $x, abcdef, 4095",    1, 0, ""},
    {"abcdef",  "strget $x, $x, 2, 3",        1, 0, "bcd"},
    {"old",     "strget $x, abcdef, 0",       0, 8, kUnchanged},
    {"old",     "strget $x, abcdef, 4096",    0, 8, kUnchanged},
    {"old",     "strget $x, abcdef, 1, 0",    0, 8, kUnchanged},
    {"old",     "strget $x, abcdef, 1, 4096", 0, 8, kUnchanged},
    {"",        "strdel $x, abcdef, 2, 3",    1, 0, "aef"},
    {"",        "strdel $x, abcdef, 5, 3",    1, 0, "abcd"},
    {"",        "strdel $x, abcdef, 9",       1, 0, "abcdef"},
    {"",        "strdel $x, abcdef, 1, 4095", 1, 0, ""},
    {"abcdef",  "strdel $x, $x, 1, 1",        1, 0, "bcdef"},
    {"old",     "strdel $x, abcdef, 0",       0, 8, kUnchanged},
    {"old",     "strdel $x, abcdef, 1, 0",    0, 8, kUnchanged},
    {"old",     "strdel $x, abcdef, 2, 4096", 0, 8, kUnchanged},
};
INSTANTIATE_TEST_SUITE_P(Texts, DataCommandCase, testing::ValuesIn(kTexts));
// clang-format on

TEST_F(DataCommands, UnknownVariablesFailWithoutBeingCreated) {
    for (const char* statement : {"intadd $nope", "intsub $nope, 2", "intmul $nope, 2",
                                  "intdiv $nope, 2", "intmod $nope, 2", "strcat $nope, a"}) {
        EXPECT_EQ(Run(statement), 1) << statement;
        EXPECT_FALSE(engine.HasGlobalVar("nope")) << statement;
    }
    // The divisor is judged before the variable is looked at.
    EXPECT_EQ(Run("intdiv $nope, 0"), 8);
    // A text argument naming an unknown variable fails too.
    EXPECT_EQ(Run("strlen $nope"), 1);

    // strget and strdel only assign, so they create their variable.
    EXPECT_EQ(Run("strget $made, abc, 2"), 0);
    EXPECT_STREQ(engine.GetVar("made"), "bc");
}

TEST_F(DataCommands, LongTextsAreCutOrRefusedAtTheirLimit) {
    // The longest value a variable named "long" can hold: "LONG=" and 4090 characters.
    const std::string longest(4090, 'q');
    engine.SetVar("long", longest.c_str());

    int result = 0;
    EXPECT_EQ(Run("strlen $long", &result), 0);
    EXPECT_EQ(result, 4090);
    EXPECT_EQ(Run("strget $copy, $long, 1", &result), 0);
    EXPECT_EQ(engine.GetVar("copy"), longest);
    EXPECT_EQ(Run("strget $copy, $long, 4090, 4095", &result), 0);
    EXPECT_STREQ(engine.GetVar("copy"), "q");
    EXPECT_EQ(Run("strdel $copy, $long, 4095"), 0);
    EXPECT_EQ(engine.GetVar("copy"), longest);

    // Growing past the limit is refused and leaves the variable as it was.
    EXPECT_EQ(Run("strcat $long, x"), 9);
    EXPECT_EQ(Run("strcat $long, $long"), 9);
    EXPECT_EQ(engine.GetVar("long"), longest);
    EXPECT_EQ(Run("strcat $copy, $long"), 9);
    EXPECT_EQ(engine.GetVar("copy"), longest);
}

}  // namespace
