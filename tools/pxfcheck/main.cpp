// pxfcheck: checks installation files without running them.
//
//   pxfcheck [/w] [/entry:Name[,Name...]] file.pxf...
//   pxfcheck /catalog
//
// Prints every problem as "path(line,column): error|warning PXnnnn: text", the form build
// tools and editors already jump to, then a summary line. Exit code: 0 clean, 1 warnings
// only, 2 errors (or, with /w, warnings too), 3 for a wrong command line. /catalog prints
// the command catalogue as JSON instead (the editor extension is generated from it).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/pxfcheck/CatalogJson.h"
#include "tools/pxfcheck/Checker.h"
#ifdef _WIN32
#include "platform/TextCodec.h"
#endif

namespace {

bool StartsWithNoCase(const char* text, const char* prefix) {
    for (; *prefix; ++text, ++prefix) {
        if (std::tolower(static_cast<unsigned char>(*text)) != *prefix) return false;
    }
    return true;
}

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> items;
    size_t start = 0;
    for (size_t comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1)
        items.push_back(text.substr(start, comma - start));
    items.push_back(text.substr(start));
    return items;
}

int Usage() {
    std::fputs(
        "usage: pxfcheck [/w] [/nosources] [/entry:Name[,Name...]] file.pxf...\n"
        "       pxfcheck /catalog\n"
        "  /w          treat warnings as errors\n"
        "  /nosources  do not look for copy sources beside the file (a copy of its text)\n"
        "  /entry:     procedures the files must have (default: Identify and Install;\n"
        "              none for a saved uninstaller)\n",
        stderr);
    return 3;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // Paths and files in any language, as the program reads them.
    tolv::UseSystemTextCodec();
#endif
    if (argc == 2 && StartsWithNoCase(argv[1], "/catalog") && argv[1][8] == '\0') {
        std::fputs(pxfcheck::CatalogJson().c_str(), stdout);
        return 0;
    }
    pxfcheck::Options options;
    bool warningsAreErrors = false;
    std::vector<const char*> files;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "/w") == 0 || std::strcmp(arg, "/W") == 0) {
            warningsAreErrors = true;
        } else if (StartsWithNoCase(arg, "/entry:")) {
            options.entries = SplitList(arg + 7);
        } else if (StartsWithNoCase(arg, "/nosources") && arg[10] == '\0') {
            options.findSources = false;
        } else if (arg[0] == '/' && arg[1] != '\0' && !std::strchr(arg + 1, '/')) {
            return Usage();
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) return Usage();

    int errors = 0, warnings = 0;
    for (const char* path : files) {
        for (const pxfcheck::Diagnostic& d : pxfcheck::CheckFile(path, options)) {
            const bool error = d.error || warningsAreErrors;
            ++(error ? errors : warnings);
            std::printf("%s(%d,%d): %s %s: %s\n", path, d.line, d.column,
                        error ? "error" : "warning", d.code, d.text.c_str());
        }
    }
    std::printf("pxfcheck: %zu file%s checked, %d error%s, %d warning%s\n", files.size(),
                files.size() == 1 ? "" : "s", errors, errors == 1 ? "" : "s", warnings,
                warnings == 1 ? "" : "s");
    return errors ? 2 : warnings ? 1 : 0;
}
