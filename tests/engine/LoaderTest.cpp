// Loading: the header, the procedure blocks and what survives a failure, and the line
// table as read.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "engine/ScriptEngine.h"
#include "engine/Text.h"
#include "tests/engine/EngineTestSupport.h"

using engine_test::ErrorOf;
using engine_test::LoadText;

namespace {
int LoadError(CScriptEngine& engine, const std::string& content) {
    return ErrorOf([&] { engine.LoadBytes(content.data(), content.size(), "x.pxf"); });
}
const std::string kHeader = ";OBRIX_INST_FILE\n";
}  // namespace

TEST(Load, ChecksTheHeaderAndTheBlocksAndKeepsWhatCameBefore) {
    const std::string name255(255, 'n');
    const struct {
        std::string text;
        int error;
        int line;           // the current line afterwards (from 0), on an error
        const char* procs;  // the procedure table afterwards
    } cases[] = {
        {"", 11, 0, ""},
        {kHeader, 11, 0, ""},
        {";OBRIX_INST_FILEX\n; c\n", 12, 0, ""},
        {" ;OBRIX_INST_FILE\n; c\n", 12, 0, ""},
        {";obrix_inst_file\n; c\n", 12, 0, ""},
        {"\xEF\xBB\xBF;OBRIX_INST_FILE\n; c\n", 0, 0, ""},
        {"\xEF\xBB\xBF\xEF\xBB\xBF;OBRIX_INST_FILE\n; c\n", 12, 0, ""},
        {";OBRIX_INST_FILE \t \nproc Main\nendp\n", 0, 0, "MAIN=1,2"},
        {kHeader + "; only a comment\n", 0, 0, ""},
        {kHeader + "proc Main\nendp\nproc main\nendp\n", 4, 3, "MAIN=1,2"},
        {kHeader + "proc Main\nendp\nendp\n", 3, 3, "MAIN=1,2"},
        {kHeader + "proc Main\nendp\nproc Outer\nproc Inner\nendp\n", 3, 4, "MAIN=1,2"},
        {kHeader + "proc Main\nendp\nproc\nendp\n", 3, 3, "MAIN=1,2"},
        {kHeader + "proc ;Main\nendp\n", 3, 1, ""},
        {kHeader + "PROC Main ; the name ends at the blank\nENDP trailing words\n", 0, 0,
         "MAIN=1,2"},
        {kHeader + "proc Main\nendp\n\n   set $x, 1\n", 3, 4, "MAIN=1,2"},
        {kHeader + "proc Main\nendp\nproc Open\n  set $x, 1\n", 0, 0, "MAIN=1,2"},
        {kHeader + "proc " + name255 + "\nendp\n", 0, 0, nullptr},
        {kHeader + "proc " + name255 + "n\nendp\n", 9, 1, ""},
        {kHeader + ";" + name255 + "\n", 9, 1, ""},
        {kHeader + "proc Main\n  x" + name255 + "\nendp\n", 9, 2, ""},
        {kHeader + ";" + name255.substr(1) + " " + name255 + "\n", 0, 0, ""},
    };
    for (const auto& c : cases) {
        CScriptEngine engine;
        EXPECT_EQ(LoadError(engine, c.text), c.error) << c.text;
        if (c.error) {
            EXPECT_EQ(engine.GetCurrentLine(), c.line) << c.text;
        }
        std::string procs;
        for (int i = 0; i < engine.GetProcTable().GetCount(); ++i) {
            procs += (i ? " " : "") + std::string(engine.GetProcTable().GetAt(i));
        }
        if (c.procs) {
            EXPECT_EQ(procs, c.procs) << c.text;
        }
    }
}

TEST(Load, ReadsAtMostFourMebibytesFromAFileOrFromMemory) {
    // Blank lines up to exactly the limit load; one byte more fails.
    const std::string header = ";OBRIX_INST_FILE\n";
    std::string text = header + std::string(4 * 1024 * 1024 - header.size() - 1, ' ') + "\n";
    const std::string path = (std::filesystem::temp_directory_path() / "tolv_4mib.pxf").string();
    CScriptEngine engine;
    for (int error : {0, 11}) {
        std::ofstream(path, std::ios::binary) << text;
        EXPECT_EQ(ErrorOf([&] { engine.Load(path.c_str()); }), error);
        EXPECT_EQ(LoadError(engine, text), error);
        text += "\n";
    }
    std::filesystem::remove(path);
    EXPECT_STREQ(engine.GetScriptPath().c_str(), "x.pxf");
}

TEST(Load, StoresEveryLineTrimmedWithEmptyLinesAsNull) {
    CScriptEngine engine;
    LoadText(engine, "; one \t\r\n\r\n   \n  proc Main  \nendp\n\n");
    const CItemArray& lines = engine.GetLines();
    ASSERT_EQ(lines.GetCount(), 7);
    EXPECT_STREQ(lines.GetAt(0), ";OBRIX_INST_FILE");
    EXPECT_STREQ(lines.GetAt(1), "; one");
    EXPECT_EQ(lines.GetAt(2), nullptr);
    EXPECT_EQ(lines.GetAt(3), nullptr);
    EXPECT_STREQ(lines.GetAt(4), "  proc Main");
    EXPECT_EQ(lines.GetAt(6), nullptr);
    // A path too long for the script path, a file that is not there.
    EXPECT_EQ(ErrorOf([&] { engine.Load(std::string(260, 'p').c_str()); }), 11);
    EXPECT_EQ(ErrorOf([&] { engine.Load("Z:\\tolv\\no_such.pxf"); }), 11);
}

TEST(Load, StopsAtANulInALineAndAtACtrlZ) {
    CScriptEngine engine;
    LoadText(engine, std::string("; a\0b\n; c\n", 10));
    EXPECT_STREQ(engine.GetLines().GetAt(1), "; a");
    EXPECT_STREQ(engine.GetLines().GetAt(2), "; c");
    // What follows the end-of-file mark, here a statement outside every procedure, is never
    // read; the text before it on its line is.
    LoadText(engine, "proc Main\r\nreturn 4\r\nendp\x1A\r\nstray\r\n");
    ASSERT_EQ(engine.GetLines().GetCount(), 4);
    EXPECT_EQ(engine.CallProc("Main"), 4);
    EXPECT_EQ(LoadError(engine, kHeader + "\x1A; c\r\n"), 11);
}

TEST(Load, ReadsUtf8WithOrWithoutItsMarkAndOtherFilesInTheLegacyCodePage) {
    CScriptEngine engine;
    const std::string line = "; \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";  // Привет
    for (const std::string& text :
         {kHeader + line + "\n", "\xEF\xBB\xBF" + kHeader + line + "\n"}) {
        ASSERT_EQ(LoadError(engine, text), 0);
        EXPECT_EQ(engine.GetLines().GetAt(1), line);
    }
    // The same word in a single-byte code page is not UTF-8: it is converted, one
    // character a byte.
    ASSERT_EQ(LoadError(engine, kHeader + "; \xCF\xF0\xE8\xE2\xE5\xF2\n"), 0);
    const std::string converted = engine.GetLines().GetAt(1);
    Utf8Validator checked;
    checked.Feed(converted.data(), converted.size());
    EXPECT_TRUE(checked.Valid() && checked.SawNonAscii()) << converted;
    EXPECT_EQ(CharCount(converted), 8u);
}

TEST(Load, CutsLinesAfter4095CharactersNotBytes) {
    std::string line = "; ";
    for (int i = 0; i < 4093; ++i) line += "\xD0\xB6";  // ж
    CScriptEngine engine;
    ASSERT_EQ(LoadError(engine, kHeader + line + "\n"), 0);
    EXPECT_EQ(engine.GetLines().GetCount(), 2);
    EXPECT_EQ(CharCount(engine.GetLines().GetAt(1)), 4095u);
    // One letter more comes as a line of its own: a statement outside every procedure.
    EXPECT_EQ(LoadError(engine, kHeader + line + "\xD0\xB6\n"), 3);
    EXPECT_EQ(engine.GetCurrentLine(), 2);
}
