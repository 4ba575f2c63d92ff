// Loading: the line table as read, load failures and what survives them, and the
// procedure table lookups.
#include <gtest/gtest.h>

#include <string>

#include "engine/ScriptEngine.h"
#include "tests/engine/EngineTestSupport.h"

using engine_test::ErrorOf;
using engine_test::LoadText;
using engine_test::ScratchFile;

namespace {
int LoadError(CScriptEngine& engine, const std::string& content) {
    ScratchFile file(content);
    return ErrorOf([&] { engine.Load(file.Path().c_str()); });
}
}  // namespace

TEST(Load, FailsOnFilesThatAreNotInstallationFiles) {
    CScriptEngine engine;
    EXPECT_EQ(LoadError(engine, ""), 11);
    EXPECT_EQ(LoadError(engine, ";OBRIX_INST_FILE\n"), 11);
    EXPECT_EQ(engine.GetLines().GetCount(), 1);  // the lines read so far
    EXPECT_EQ(LoadError(engine, ";OBRIX_INST_FILEX\n; c\n"), 12);
    EXPECT_EQ(engine.GetLines().GetCount(), 0);  // the header attempt is not stored
    EXPECT_EQ(LoadError(engine, "\xEF\xBB\xBF;OBRIX_INST_FILE\n; c\n"), 12);

    std::string missing = (std::filesystem::temp_directory_path() / "tolv_no_such.pxf").string();
    EXPECT_EQ(ErrorOf([&] { engine.Load(missing.c_str()); }), 11);
    std::string longPath(260, 'p');
    EXPECT_EQ(ErrorOf([&] { engine.Load(longPath.c_str()); }), 11);
}

TEST(Load, ReadsAtMostFourMebibytesFromAFileOrFromMemory) {
    // Blank lines up to exactly the limit load; one byte more fails.
    const std::string header = ";OBRIX_INST_FILE\n";
    std::string text = header + std::string(4 * 1024 * 1024 - header.size() - 1, ' ') + "\n";
    CScriptEngine engine;
    EXPECT_EQ(LoadError(engine, text), 0);
    EXPECT_EQ(ErrorOf([&] { engine.LoadBytes(text.data(), text.size(), "x.pxf"); }), 0);
    text += "\n";
    EXPECT_EQ(LoadError(engine, text), 11);
    EXPECT_EQ(ErrorOf([&] { engine.LoadBytes(text.data(), text.size(), "x.pxf"); }), 11);
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
    int start = 0, end = 0;
    engine.GetProcRange("MAIN", &start, &end);
    EXPECT_EQ(start, 4);
    EXPECT_EQ(end, 5);
}

TEST(Load, SplitsLongPhysicalLinesAt4095) {
    // Words of two letters keep every piece a valid statement line inside the procedure.
    auto text = [](size_t length, char letter) {
        std::string s;
        while (s.size() < length) s += s.size() % 3 == 1 ? ' ' : letter;
        return s;
    };
    CScriptEngine engine;
    const std::string exact = text(4095, 'a');
    const std::string over = text(4098, 'b');
    const std::string twice = text(8190, 'e');
    LoadText(engine, "proc Main\n" + exact + "\r\n" + over + "\n" + twice + "\nendp");
    const CItemArray& lines = engine.GetLines();
    ASSERT_EQ(lines.GetCount(), 8);
    // (Compared as booleans: a failure would otherwise print pages of text.)
    EXPECT_TRUE(lines.GetAt(2) == exact);
    EXPECT_TRUE(lines.GetAt(3) == over.substr(0, 4095));
    EXPECT_TRUE(lines.GetAt(4) == over.substr(4095));
    EXPECT_TRUE(lines.GetAt(5) == twice.substr(0, 4095));
    EXPECT_TRUE(lines.GetAt(6) == twice.substr(4095));
    EXPECT_STREQ(lines.GetAt(7), "endp");  // a last line without a line end
}

TEST(Load, CutsALineAtANulByte) {
    CScriptEngine engine;
    LoadText(engine, std::string("; a\0b\n; c\n", 10));
    EXPECT_STREQ(engine.GetLines().GetAt(1), "; a");
    EXPECT_STREQ(engine.GetLines().GetAt(2), "; c");
}

TEST(Load, StopsAtACtrlZAsATextReadDoes) {
    // Whatever follows the end-of-file mark, here a statement outside every procedure, is
    // never read; the text before it on its line is.
    CScriptEngine engine;
    LoadText(engine, "proc Main\r\nreturn 4\r\nendp\x1A\r\nstray\r\n");
    ASSERT_EQ(engine.GetLines().GetCount(), 4);
    EXPECT_STREQ(engine.GetLines().GetAt(3), "endp");
    EXPECT_EQ(engine.CallProc("Main"), 4);
    EXPECT_EQ(LoadError(engine, ";OBRIX_INST_FILE\r\n\x1A; c\r\n"), 11);
}

TEST(Load, LimitsWordsAndProcedureNamesTo255) {
    CScriptEngine engine;
    const std::string name255(255, 'n');
    EXPECT_EQ(ErrorOf([&] { LoadText(engine, "proc " + name255 + "\nendp\n"); }), 0);
    EXPECT_EQ(ErrorOf([&] { LoadText(engine, "proc " + name255 + "n\nendp\n"); }), 9);
    EXPECT_EQ(ErrorOf([&] { LoadText(engine, ";" + name255 + "\n"); }), 9);
    EXPECT_EQ(ErrorOf([&] { LoadText(engine, ";" + name255.substr(1) + " " + name255 + "\n"); }),
              0);
}

TEST(Load, ForgetsTheFormerFilesVariablesAndMacros) {
    CScriptEngine engine;
    LoadText(engine, "proc Main\nmacro m, 1\nset $g, 1\nend\nendp\n");
    engine.CallProc("Main");
    EXPECT_STREQ(engine.GetVar("g"), "1");
    EXPECT_EQ(engine.GetStopMode(), CScriptEngine::kEnded);

    LoadText(engine, "proc Other\nreturn 5\nendp\n");
    EXPECT_EQ(ErrorOf([&] { engine.GetVar("g"); }), 1);
    EXPECT_EQ(ErrorOf([&] { engine.GetMacro("m"); }), 1);
    EXPECT_EQ(ErrorOf([&] { engine.CallProc("Main"); }), 1);
    EXPECT_EQ(engine.CallProc("Other"), 5);  // the stop mode was reset, commands are still there
}

TEST(ProcTable, FindsTheProcedureHoldingALine) {
    CScriptEngine engine;
    LoadText(engine, "proc First\nendp\n; between\nproc Second\n  return 1\nendp\n");
    std::string name;
    int start = -1, end = -1;
    engine.FindProcByLine(1, &name, &start, &end);
    EXPECT_EQ(name, "FIRST");
    EXPECT_EQ(start, 1);
    EXPECT_EQ(end, 2);
    engine.FindProcByLine(2, &name, &start, &end);
    EXPECT_EQ(name, "FIRST");
    engine.FindProcByLine(6, &name, &start, &end);
    EXPECT_EQ(name, "SECOND");
    EXPECT_EQ(start, 4);
    EXPECT_EQ(ErrorOf([&] { engine.FindProcByLine(3, &name, &start, &end); }), 1);
    EXPECT_EQ(ErrorOf([&] { engine.FindProcByLine(0, &name, &start, &end); }), 1);
    EXPECT_EQ(ErrorOf([&] { engine.FindProcByLine(7, &name, &start, &end); }), 1);

    engine.GetProcRange("second", &start, &end);
    EXPECT_EQ(start, 4);
    EXPECT_EQ(end, 6);
    EXPECT_EQ(ErrorOf([&] { engine.GetProcRange("Third", &start, &end); }), 1);

    CScriptEngine empty;
    LoadText(empty, "; only a comment\n");
    EXPECT_EQ(empty.GetProcTable().GetCount(), 0);
    EXPECT_EQ(ErrorOf([&] { empty.FindProcByLine(1, &name, &start, &end); }), 1);
}
