// Pieces shared by the file and registry command handlers: undo lines that survive being run
// as statements, option letters, and arguments that a command changes in place.
#pragma once

#include <string>
#include <string_view>

class CScriptEngine;

namespace tolv {

// text as a quoted argument of a script statement: in double quotes, with "#", ";" and the
// double quote escaped ("##", "#;", "#\""), so that a recorded undo line names exactly the
// path or key it was made for, even when that holds characters the script language reads
// as substitution, comment or quote. Text without them comes out as "text".
std::string QuoteForScript(std::string_view text);

// The raw argument list of a statement, kept before ParseArgs cuts it up, so that a command
// can tell which of its arguments was written as a variable reference.
class RawArguments {
public:
    explicit RawArguments(const char* args) : text_(args ? args : "") {}
    // The name of the variable that argument index (from 0) was written as ("$name",
    // unquoted), or "" when it was written otherwise.
    std::string VariableAt(int index) const;

private:
    std::string text_;
};

// A command that changes one of its argument texts in place (a lower-cased option text, a
// path without its trailing backslash) changes the variable the argument was written as,
// as a script author sees it: the variable the argument read (the current call's when it
// has one, else the global) takes the new text. Nothing happens for an argument that was no
// variable reference or that did not change.
void StoreArgumentBack(CScriptEngine& engine, const RawArguments& raw, int index,
                       const char* before, const std::string& after);

// The option text lower-cased (ASCII letters only); nullptr gives "".
std::string LowerOptions(const char* options);
inline bool HasOption(const std::string& lowered, char letter) {
    return lowered.find(letter) != std::string::npos;
}

// Where a file a command reads lies: an absolute path as written (name itself, so that it
// costs no copy); a relative one in the first directory file source that has it (the
// installation file's folder first), as copy finds its source, kept in found; else name,
// relative to the current directory.
const char* SourceFilePath(CScriptEngine& engine, const char* name, std::string& found);

// The longest path the file functions take: MAX_PATH less the terminating zero, in UTF-16
// units as Windows counts (see engine/Text.h).
inline constexpr size_t kMaxPathLength = 259;

}  // namespace tolv
