// The checker against every installation file of the repository (but the catalogue's, which
// hold faults and test commands on purpose): each gets exactly the diagnostics its comment
// lines "; expect check: LINE,COLUMN PXnnnn" name. Then pxfcheck.exe's output and exit codes.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "commands/CommandCatalog.h"
#include "engine/ScriptEngine.h"
#include "tests/common/ChildProcess.h"
#include "tests/common/ScratchFolder.h"
#include "tools/pxfcheck/Checker.h"

namespace fs = std::filesystem;

namespace {

fs::path SourceRoot() {
    return fs::path(TOLV_TEST_DATA).parent_path().parent_path();
}

std::vector<std::string> RepositoryFiles() {
    std::vector<std::string> files;
    for (const char* dir : {"tests", "examples", "docs"}) {
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(SourceRoot() / dir, ec)) {
            const std::string file = fs::relative(entry.path(), SourceRoot()).generic_string();
            if (entry.path().extension() == ".pxf" && file.rfind("tests/catalogue/", 0) != 0)
                files.push_back(file);
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Sorted and joined by blanks.
std::string Joined(std::vector<std::string> items) {
    std::sort(items.begin(), items.end());
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : " ") + item;
    return text;
}

// The expected diagnostics of a file.
std::string ReadExpected(const fs::path& path) {
    std::vector<std::string> expected;
    std::ifstream in(path, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (line.rfind("; expect check: ", 0) == 0) expected.push_back(line.substr(16));
    }
    return Joined(expected);
}

// "LINE,COLUMN CODE" of each diagnostic.
std::string Found(const std::vector<pxfcheck::Diagnostic>& diagnostics) {
    std::vector<std::string> found;
    for (const auto& d : diagnostics)
        found.push_back(std::to_string(d.line) + "," + std::to_string(d.column) + " " + d.code);
    return Joined(found);
}

// One fault of the language per case, as a file whose entry is Main (or Open).
TEST(Checker, FindsEachFaultTheLoaderOrTheInterpreterWouldRaise) {
    const std::string H = ";OBRIX_INST_FILE\n", N256(256, 'n'), W256 = "x" + std::string(255, 'w');
    const struct {
        std::string text;
        const char* entry;
        const char* expected;
    } cases[] = {
        {H + "proc Main\nset $a, #" + N256 + "#\nendp\n", "Main", "3,9 PX0303"},
        {H + "proc Main\nset $a, \"a;b\"\nendp\n", "Main", "3,9 PX0301"},
        {H + "proc Main\nset $a, #abc\nendp\n", "Main", "3,9 PX0303"},
        {H + "proc Main\nset $a, \"#0#\"\nendp\n", "Main", "3,10 PX0304"},
        {H + "proc Main\neval $r\nendp\n", "Main", "3,8 PX0208"},
        {H + "proc Main\ngoto there\n there: set $a, 1\nendp\n", "Main", "3,6 PX0207"},
        {H + "proc Main\ngoto elsewhere\nendp\nproc Other\nelsewhere:\nendp\n", "Main",
         "3,6 PX0206"},
        {H + "proc Main\nif\nendp\n", "Main", "3,1 PX0208"},
        {H + "proc Main\nmacro name,\nendp\n", "Main", "3,12 PX0203"},
        {H + "proc Main\nset name, 1\nendp\n", "Main", "3,5 PX0204"},
        {H + "proc Main\nendp\nproc main\nendp\n", "Main", "4,6 PX0106"},
        {H + "proc Main\nendp\nendp\n", "Main", "4,1 PX0103"},
        {"", "Main", "1,1 PX0002"},
        {";OBRIX_INST_FILE\r\n", "Main", "1,1 PX0003"},
        {" ;OBRIX_INST_FILE\nproc Main\nendp\n", "Main", "1,1 PX0002"},
        {";obrix_inst_file\nproc Main\nendp\n", "Main", "1,1 PX0002"},
        {H + "proc Main\nendp\nproc Outer\nproc Inner\nendp\n", "Main", "5,1 PX0102"},
        {H + "proc Main\nendp\nproc Open\n  set $x, 1\n", "Open", "1,1 PX0109 4,1 PX0105"},
        {H + "proc ;Main\nendp\n", "Main", "1,1 PX0109 2,1 PX0104"},
        {H + "proc Main\nendp\nproc\nendp\n", "Main", "4,1 PX0104"},
        {H + "proc Main\nendp\n\n   set $x, 1\n", "Main", "5,4 PX0101"},
        {H + "proc Main\n:set $a, 1\nendp\n", "Main", "3,1 PX0305"},
        {H + "proc Main\nnosuchthing 1, 2\nendp\n", "Main", "3,1 PX0201"},
        {H + "proc Main\n  " + W256 + "\nendp\n", "Main", "3,3 PX0107"},
        {H + "proc Main\nreturn 12abc\nendp\n", "Main", "3,8 PX0205"},
        {H + "proc Main\nset $a, 1, 2\nendp\n", "Main", "3,12 PX0202"},
        {H + "proc Main\nset $a, \"abc\"def\nendp\n", "Main", "3,14 PX0302"},
        // Columns count characters; a file that is not UTF-8 is flagged at its first such line.
        {H + "proc Main\nset $\xD0\xB6, \"a;b\"\nendp\n", "Main", "3,9 PX0301"},
        {H + "proc Main\n; \xCF\xF0\xE8\nendp\n", "Main", "3,1 PX0111"},
        {"\xEF\xBB\xBF" + H + "proc Main\n; \xD0\xB6\nendp\n", "Main", ""},
        {H + "proc Main\nif strlen \"\"\n\nset $a, 1\nendp\n", "Main", "3,1 PX0210"},
        {H + "proc Main\nif strlen \"\"\nset $a, 1\n\nendp\n", "Main", ""},
        {H + "proc Main\nprompt \"Go?\", \"yN\"\nendp\n", "Main", "3,15 PX0211"},
        {H + "proc Main\nprompt \"Go?\", \"?yN\"\nendp\n", "Main", ""},
        {H + "proc Main\nif strlen \"\"\n  ; why\nset $a, 1\nendp\n", "Main", "3,1 PX0212"},
        {H + "proc Main\nset $a, 1\n  if strlen \"\"\nendp\n", "Main", "4,3 PX0213"},
        {H + "proc Main\nset $a, \"#$dri#\"\nset $b, $drv\nMain $drv, $a\nlset $c, 1\nstrcat $c, "
             "$c\nset $d, \"#$1##$lastWinError##$quiet#\"\nendp\n",
         "Main", "3,10 PX0214 4,9 PX0214"},
        {H + "proc Main\nset $a, \"#$dri#\"\nset $#$a#, 1\nendp\n", "Main", ""},
        {H + "proc Identify\nset $INST_TYPE, 1\nset $DEVNAME, 1\nset $INST_NAME, 1\nHelper\nendp\n"
             "proc Helper\n  mkdir \"C:\\x\"\nendp\nproc Install\n  mkdir \"C:\\x\"\nendp\n",
         "Identify", "9,3 PX0112"},
    };
    for (const auto& c : cases) {
        pxfcheck::Options options;
        options.entries = {c.entry};
        EXPECT_EQ(Found(pxfcheck::CheckText(c.text, options)), c.expected) << c.text;
    }
}

class RepositoryFile : public testing::TestWithParam<std::string> {};

// The examples' drivers are built elsewhere: sources are looked for only in the case below.
TEST_P(RepositoryFile, ChecksAsItsCommentsSay) {
    const fs::path path = SourceRoot() / GetParam();
    pxfcheck::Options options;
    options.findSources = false;
    EXPECT_EQ(Found(pxfcheck::CheckFile(path.string(), options)), ReadExpected(path));
}

// A copy source is looked for beside the file, its name in any case.
TEST(Checker, FindsCopySourcesMissingFromTheFilesFolder) {
    ScratchFolder folder("pxfsources");
    folder.Write("Payload.DLL", "x");
    CreateDirectoryA((folder / "sub").c_str(), nullptr);
    folder.Write("sub\\more.dll", "x");
    const std::string text =
        ";OBRIX_INST_FILE\nproc Main\nset $s, x\ncopy \"payload.dll\", \"C:\\\"\ncopy "
        "\"SUB\\more.dll\", \"C:\\\"\ncopy \"missing.dll\", \"C:\\\"\ncopy \"C:\\a.dll\", "
        "\"C:\\\"\ncopy $s, \"C:\\\"\nendp\n";
    const std::string file = folder.Write("setup.pxf", text);
    pxfcheck::Options options;
    options.entries = {"Main"};
    EXPECT_EQ(Found(pxfcheck::CheckFile(file, options)), "6,6 PX0215 7,6 PX0215");
    options.findSources = false;
    EXPECT_EQ(Found(pxfcheck::CheckFile(file, options)), "");
}

INSTANTIATE_TEST_SUITE_P(All, RepositoryFile, testing::ValuesIn(RepositoryFiles()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

// Every command the engine runs is in the catalogue the checker reads, with the same name,
// and the catalogue names no command the engine lacks.
TEST(CommandCatalog, MatchesTheRegisteredCommands) {
    CScriptEngine engine;
    for (const CommandInfo* row = kCommandCatalog; row->name; ++row)
        EXPECT_NE(engine.FindCommand(row->name), nullptr) << row->name;
    for (const std::string& name : engine.GetCommandNames())
        EXPECT_NE(FindCommandInfo(name.c_str()), nullptr) << name << " has no signature";
}

// Runs pxfcheck.exe with its output in a file; returns the exit code.
int RunChecker(const std::string& arguments, const std::string& outPath, std::string* output) {
    const int code = ChildProcess("pxfcheck.exe", arguments, outPath).ExitCode();
    std::ifstream in(outPath, std::ios::binary);
    output->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    output->erase(std::remove(output->begin(), output->end(), '\r'), output->end());
    return code;
}

TEST(PxfcheckProgram, PrintsDiagnosticsSummaryAndExitCode) {
    ScratchFolder folder("pxfcheck");
    const std::string clean = (SourceRoot() / "tests/data/check/clean.pxf").string();
    const std::string warns = folder.Write("warn.pxf",
                                           ";OBRIX_INST_FILE\r\nproc Identify\r\n set $INST_TYPE,"
                                           "1\r\n set $DEVNAME,1\r\n set $INST_NAME,1\r\nendp\r\n"
                                           "proc Install\r\nendp\r\nproc Open\r\n");
    const std::string bad = (SourceRoot() / "tests/data/check/no_install.pxf").string();
    const std::string out = folder / "out.txt";
    std::string text;

    EXPECT_EQ(0, RunChecker("\"" + clean + "\"", out, &text));
    EXPECT_EQ(text, "pxfcheck: 1 file checked, 0 errors, 0 warnings\n");
    EXPECT_EQ(1, RunChecker("\"" + warns + "\"", out, &text));
    EXPECT_EQ(text, warns +
                        "(9,1): warning PX0105: procedure OPEN has no endp: it is dropped "
                        "and cannot be called\npxfcheck: 1 file checked, 0 errors, 1 warning\n");
    EXPECT_EQ(2, RunChecker("/w \"" + warns + "\"", out, &text));
    EXPECT_NE(text.find("(9,1): error PX0105"), std::string::npos) << text;
    EXPECT_EQ(2, RunChecker("\"" + clean + "\" \"" + bad + "\"", out, &text));
    EXPECT_NE(text.find(bad + "(1,1): error PX0109: no procedure Install"), std::string::npos);
    EXPECT_NE(text.find("2 files checked, 1 error, 0 warnings"), std::string::npos) << text;
    EXPECT_EQ(0, RunChecker("/entry:Identify \"" + bad + "\"", out, &text));
    EXPECT_EQ(3, RunChecker("/x \"" + clean + "\"", out, &text));
    EXPECT_EQ(2, RunChecker("Z:\\no\\such\\file.pxf", out, &text));
    EXPECT_NE(text.find("error PX0001"), std::string::npos) << text;
}

}  // namespace
