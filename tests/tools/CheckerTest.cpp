// The checker against every installation file of the repository: each file names, in
// comment lines "; expect check: LINE,COLUMN PXnnnn", exactly the diagnostics it must get;
// a file without such lines must check clean. Then pxfcheck.exe itself: its output lines,
// summary and exit codes.
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
            if (entry.path().extension() == ".pxf")
                files.push_back(fs::relative(entry.path(), SourceRoot()).generic_string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// The complete installation files shown in the reference (code blocks that begin with the
// header) must check clean.
TEST(ReferenceExamples, CheckClean) {
    std::ifstream in(SourceRoot() / "docs/installation-files.md", std::ios::binary);
    const std::string doc((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int files = 0;
    for (size_t at = doc.find("```\n;OBRIX_INST_FILE"); at != std::string::npos;
         at = doc.find("```\n;OBRIX_INST_FILE", at + 1)) {
        const size_t begin = at + 4;
        const std::string file = doc.substr(begin, doc.find("```", begin) - begin);
        EXPECT_TRUE(pxfcheck::CheckText(file, {}).empty()) << file;
        ++files;
    }
    EXPECT_GE(files, 1);
}

// The expected diagnostics, and the procedures a language test runs (its "; run:" line, or
// Main): language tests are no device installations.
std::vector<std::string> ReadExpected(const fs::path& path, pxfcheck::Options* options) {
    std::vector<std::string> expected;
    std::ifstream in(path, std::ios::binary);
    std::string run = "Main";
    for (std::string line; std::getline(in, line);) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        if (line.rfind("; expect check: ", 0) == 0) expected.push_back(line.substr(16));
        if (line.rfind("; run: ", 0) == 0) run = line.substr(7);
    }
    if (path.generic_string().find("tests/data/lang/") != std::string::npos)
        options->entries = {run};
    std::sort(expected.begin(), expected.end());
    return expected;
}

class RepositoryFile : public testing::TestWithParam<std::string> {};

TEST_P(RepositoryFile, ChecksAsItsCommentsSay) {
    const fs::path path = SourceRoot() / GetParam();
    pxfcheck::Options options;
    const std::vector<std::string> expected = ReadExpected(path, &options);
    std::vector<std::string> actual;
    std::string printed;
    for (const auto& d : pxfcheck::CheckFile(path.string(), options)) {
        actual.push_back(std::to_string(d.line) + "," + std::to_string(d.column) + " " + d.code);
        printed += actual.back() + " " + d.text + "\n";
    }
    std::sort(actual.begin(), actual.end());
    EXPECT_EQ(expected, actual) << printed;
}

INSTANTIATE_TEST_SUITE_P(All, RepositoryFile, testing::ValuesIn(RepositoryFiles()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

TEST(RepositoryFiles, AreFound) {
    EXPECT_GE(RepositoryFiles().size(), 70u);
}

// Every command the engine runs is in the catalogue the checker reads, with the same name,
// and the catalogue names no command the engine lacks.
TEST(CommandCatalog, MatchesTheRegisteredCommands) {
    CScriptEngine engine;
    for (const CommandInfo* row = kCommandCatalog; row->name; ++row)
        EXPECT_NE(engine.FindCommand(row->name), nullptr) << row->name;
    for (const std::string& name : engine.GetCommandNames())
        EXPECT_NE(FindCommandInfo(name.c_str()), nullptr) << name << " has no signature";
}

// Files that cannot hold their own expectations.
TEST(Checker, FilesWithoutRoomForComments) {
    const struct {
        std::string bytes;
        const char* code;
    } cases[] = {{"", "PX0002"}, {";OBRIX_INST_FILE\r\n", "PX0003"}};
    for (const auto& c : cases) {
        const auto d = pxfcheck::CheckText(c.bytes, {});
        ASSERT_EQ(d.size(), 1u);
        EXPECT_STREQ(d[0].code, c.code);
    }
    const auto d = pxfcheck::CheckFile("Z:\\no\\such\\file.pxf", {});
    ASSERT_EQ(d.size(), 1u);
    EXPECT_STREQ(d[0].code, "PX0001");
}

// Runs pxfcheck.exe with its output in a file; returns the exit code.
int RunChecker(const std::string& arguments, const std::string& outPath, std::string* output) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = out;
    PROCESS_INFORMATION process = {};
    std::string commandLine = "\"" + BinDir() + "\\pxfcheck.exe\" " + arguments;
    DWORD code = 99;
    if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                       &startup, &process)) {
        WaitForSingleObject(process.hProcess, 60000);
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(out);
    std::ifstream in(outPath, std::ios::binary);
    output->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    output->erase(std::remove(output->begin(), output->end(), '\r'), output->end());
    return static_cast<int>(code);
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
}

}  // namespace
