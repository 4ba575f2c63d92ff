// The installation file checker: finds what would make a file fail to load or fail when a
// statement runs, without running anything.
//
// It reads the file as the loader does (same line splitting, same header, same procedure
// table rules) and then looks at every statement of every procedure as the interpreter
// would see it: substitutions, comment, label, command word, argument tokens against the
// command's signature. What depends on values known only at run time (a "$name" argument,
// a "#$name#" substitution) is taken as valid.
#pragma once

#include <string>
#include <vector>

namespace pxfcheck {

struct Diagnostic {
    int line = 1;    // counted from 1, as editors count
    int column = 1;  // counted from 1
    bool error = true;
    const char* code = "";  // "PX0101"
    std::string text;
};

struct Options {
    // Procedures the file must have. Empty: Identify and Install, or none for a file that
    // has an Uninstall procedure and neither of them (a saved uninstaller).
    std::vector<std::string> entries;
    // The folder of the file, where copy finds its sources; empty: sources are not looked
    // for. CheckFile sets it to the file's folder when findSources is set.
    std::string folder;
    bool findSources = true;
};

// Checks the file's bytes; diagnostics in line and column order.
std::vector<Diagnostic> CheckText(const std::string& bytes, const Options& options);
// Reads and checks the file at path; a file that cannot be read gives PX0001.
std::vector<Diagnostic> CheckFile(const std::string& path, const Options& options);

}  // namespace pxfcheck
