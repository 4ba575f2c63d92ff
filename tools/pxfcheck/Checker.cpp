#include "tools/pxfcheck/Checker.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include "commands/CommandCatalog.h"
#include "engine/ItemArray.h"
#include "engine/Text.h"
#include "engine/TextCase.h"
#include "engine/Tokenizer.h"

namespace pxfcheck {
namespace {

constexpr char kHeader[] = ";OBRIX_INST_FILE";
// Stands for text known only at run time: a "#$name#" or "#macro#" substitution.
constexpr char kUnknown = '\x01';
// Every saved uninstaller has it, so a procedure copied into one may call it.
constexpr char kRollbackProc[] = "DEFAULTROLLBACK";

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// A name as diagnostics quote it: long ones shortened.
std::string Quote(const std::string& name) {
    return name.size() <= 40 ? name : name.substr(0, 37) + "...";
}

bool IsEscapeSecond(char c) {
    return c == '#' || c == ';' || c == '"';
}

// One stored line as the loader keeps it: a physical line, or a 4095-character piece of
// one, with trailing white space removed.
struct Piece {
    std::string text;
    int line;     // physical line, from 1
    int colBase;  // column of text[0] minus 1
};

// The column of the byte at index in piece: columns count characters, as an editor shows them.
int Column(const Piece& piece, size_t index) {
    const std::string_view before = std::string_view(piece.text).substr(0, index);
    return piece.colBase + static_cast<int>(CharCount(before) + (index - before.size())) + 1;
}

struct Proc {
    std::string name;  // upper case
    int start = 0;     // piece indexes of the "proc" and "endp" lines
    int end = -1;
};

// A statement line after substitution, with the column each character came from.
struct Expanded {
    std::string text;
    std::vector<int> cols;
    int endCol = 1;  // column just past the statement (its comment excluded)
};

struct Token {
    size_t start = 0;  // index into the expanded text
    std::string text;  // as written; escapes kept
    bool quoted = false;
    bool unknown = false;  // holds run-time text
};

class Checker {
public:
    Checker(const Options& options, std::vector<Diagnostic>& out) : options_(options), out_(out) {}

    void Run(const std::string& bytes) {
        SplitLines(FileText(bytes));
        if (!CheckHeader()) return;
        BuildProcs();
        CollectMacros();
        CheckEntries();
        for (const Proc& proc : procs_) CheckBody(proc);
        CheckIdentify();
        CheckReads();
    }

private:
    void Report(int line, int column, bool error, const char* code, std::string text) {
        out_.push_back({line, column, error, code, std::move(text)});
    }
    void ReportAt(const Piece& piece, size_t index, bool error, const char* code,
                  std::string text) {
        Report(piece.line, Column(piece, index), error, code, std::move(text));
    }
    void ReportAt(const Expanded& e, size_t index, const char* code, std::string text,
                  bool error = true) {
        const int col = index < e.cols.size() ? e.cols[index] : e.endCol;
        Report(piece_->line, col, error, code, std::move(text));
    }

    // The file's text as the loader reads it: UTF-8 (with or without byte order mark) as it
    // is, any other in the system's legacy code page, which works only on systems of that
    // code page: worth a warning at the first line that is not UTF-8.
    std::string FileText(const std::string& bytes) {
        std::string_view text(bytes);
        const bool bom = text.substr(0, kUtf8Bom.size()) == kUtf8Bom;
        if (bom) text.remove_prefix(kUtf8Bom.size());
        Utf8Validator checked;
        checked.Feed(text.data(), text.size());
        if (!bom && !checked.Valid()) {
            Report(checked.FirstBadLine() > 0 ? checked.FirstBadLine() : 1, 1, false, "PX0111",
                   "the file is not UTF-8: it is read in the system's legacy code page, so "
                   "its text differs between Windows of other languages; save it as UTF-8");
        }
        return ConvertFileText(text, ConversionFor(bom, checked));
    }

    // The loader's splitting: "\r\n" or "\n" ends a line, Ctrl+Z ends the file, pieces of at
    // most 4095 characters, a piece cut at a NUL byte, trailing white space dropped.
    void SplitLines(const std::string& bytes) {
        std::string piece;
        int pieceChars = 0;
        int line = 1, colBase = 0;
        bool warnedLong = false;
        auto end = [&] {
            size_t nul = piece.find('\0');
            if (nul != std::string::npos) piece.resize(nul);
            while (!piece.empty() && std::isspace(static_cast<unsigned char>(piece.back())))
                piece.pop_back();
            pieces_.push_back({piece, line, colBase});
            piece.clear();
            pieceChars = 0;
        };
        for (size_t i = 0; i < bytes.size() && bytes[i] != '\x1A'; ++i) {
            const char c = bytes[i];
            if (c == '\n' || (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) {
                if (c == '\r') ++i;
                end();
                ++line;
                colBase = 0;
                warnedLong = false;
                continue;
            }
            const bool startsChar = !ContinuesChar(static_cast<unsigned char>(c));
            if (startsChar && pieceChars == kMaxLineLength) {
                if (!warnedLong) {
                    Report(line, colBase + pieceChars + 1, false, "PX0108",
                           "line longer than 4095 characters: the rest runs as a line of "
                           "its own");
                    warnedLong = true;
                }
                colBase += pieceChars;
                end();
            }
            pieceChars += startsChar;
            piece.push_back(c);
        }
        if (!piece.empty()) end();
    }

    bool CheckHeader() {
        if (pieces_.empty() || pieces_[0].text != kHeader) {
            Report(1, 1, true, "PX0002",
                   "the first line must be exactly ;OBRIX_INST_FILE: not an installation file");
            return false;
        }
        if (pieces_.size() < 2) {
            Report(1, 1, true, "PX0003", "nothing follows the header: the file cannot be loaded");
            return false;
        }
        return true;
    }

    // The first word of a piece (blanks skipped, up to a space or tab) and where it starts.
    static size_t FirstWord(const std::string& text, std::string* word, size_t* next) {
        size_t at = 0;
        while (at < text.size() && IsBlank(text[at])) ++at;
        size_t stop = at;
        while (stop < text.size() && !IsBlank(text[stop])) ++stop;
        *word = text.substr(at, stop - at);
        *next = stop;
        return at;
    }

    void BuildProcs() {
        Proc* open = nullptr;
        std::set<std::string> names;
        for (size_t i = 0; i < pieces_.size(); ++i) {
            const Piece& piece = pieces_[i];
            if (piece.text.empty()) continue;
            std::string word;
            size_t next = 0;
            const size_t at = FirstWord(piece.text, &word, &next);
            if (LongerThan(word, kMaxNameLength)) {
                ReportAt(piece, at, true, "PX0107",
                         "a word of " + std::to_string(CharCount(word)) +
                             " characters (more than 255) makes the whole file fail to load" +
                             (word[0] == ';' ? ": shorten the comment or put a blank in it" : ""));
                tooLong_.insert(i);
                continue;
            }
            const std::string upper = Upper(word);
            if (upper == "PROC") {
                if (open) {
                    ReportAt(piece, at, true, "PX0102",
                             "procedure " + open->name + " is still open: procedures do not nest");
                }
                size_t nameAt = next;
                while (nameAt < piece.text.size() && IsBlank(piece.text[nameAt])) ++nameAt;
                size_t nameEnd = nameAt;
                while (nameEnd < piece.text.size() && !IsBlank(piece.text[nameEnd]) &&
                       piece.text[nameEnd] != ';')
                    ++nameEnd;
                std::string name = Upper(piece.text.substr(nameAt, nameEnd - nameAt));
                if (name.empty()) {
                    ReportAt(piece, at, true, "PX0104", "proc without a procedure name");
                } else if (LongerThan(name, kMaxNameLength)) {
                    ReportAt(piece, nameAt, true, "PX0107",
                             "a procedure name of more than 255 characters makes the whole "
                             "file fail to load");
                } else if (!names.insert(name).second) {
                    ReportAt(piece, nameAt, true, "PX0106",
                             "procedure " + name + " is defined twice (names ignore case)");
                }
                procs_.push_back({name, static_cast<int>(i), -1});
                open = &procs_.back();
            } else if (upper == "ENDP") {
                if (!open) {
                    ReportAt(piece, at, true, "PX0103", "endp without a proc before it");
                } else {
                    open->end = static_cast<int>(i);
                    open = nullptr;
                }
            } else if (!open && word[0] != ';') {
                ReportAt(piece, at, true, "PX0101", "statement outside any procedure");
            }
        }
        if (open) {
            Report(pieces_[open->start].line, 1, false, "PX0105",
                   "procedure " + open->name + " has no endp: it is dropped and cannot be called");
        }
        procs_.erase(std::remove_if(procs_.begin(), procs_.end(),
                                    [](const Proc& p) { return p.end < 0 || p.name.empty(); }),
                     procs_.end());
    }

    const Proc* FindProc(const std::string& upperName) const {
        for (const Proc& p : procs_)
            if (p.name == upperName) return &p;
        return nullptr;
    }

    void CheckEntries() {
        std::vector<std::string> entries = options_.entries;
        if (entries.empty()) {
            const bool uninstaller =
                FindProc("UNINSTALL") && !FindProc("IDENTIFY") && !FindProc("INSTALL");
            if (!uninstaller) entries = {"Identify", "Install"};
        }
        for (const std::string& entry : entries) {
            if (!FindProc(Upper(entry)))
                Report(1, 1, true, "PX0109", "no procedure " + entry + ": the file cannot be run");
        }
    }

    // Macro names that a "macro" statement with a literal name defines somewhere in the
    // file. One macro named at run time makes every name possible.
    void CollectMacros() {
        for (const Proc& proc : procs_) {
            for (int i = proc.start + 1; i < proc.end; ++i) {
                std::string word;
                size_t next = 0;
                FirstWord(pieces_[i].text, &word, &next);
                if (Upper(word) != "MACRO") continue;
                std::string rest = pieces_[i].text.substr(next);
                size_t comma = rest.find(',');
                std::string name = rest.substr(0, comma);
                name.erase(0, name.find_first_not_of(" \t"));
                name.erase(name.find_last_not_of(" \t") + 1);
                if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
                    name = name.substr(1, name.size() - 2);
                if (name.empty() || name.find_first_of("$#") != std::string::npos) anyMacro_ = true;
                macros_.insert(Upper(name));
            }
        }
    }

    // ---- statements

    // Substitutes the line as the interpreter does, with run-time text as kUnknown. Reports
    // unclosed and unknown substitutions; returns false when the line cannot be expanded.
    bool Expand(const Piece& piece, Expanded* e) {
        const std::string& in = piece.text;
        size_t i = 0;
        while (i < in.size() && IsBlank(in[i])) ++i;
        auto put = [&](char c, size_t from) {
            e->text.push_back(c);
            e->cols.push_back(Column(piece, from));
        };
        for (; i < in.size() && in[i] != ';';) {
            if (in[i] != '#') {
                put(in[i], i);
                ++i;
                continue;
            }
            if (i + 1 < in.size() && IsEscapeSecond(in[i + 1])) {
                put(in[i], i);
                put(in[i + 1], i + 1);
                i += 2;
                continue;
            }
            const size_t close = in.find('#', i + 1);
            if (close == std::string::npos ||
                LongerThan(std::string_view(in).substr(i + 1, close - i - 1), kMaxNameLength)) {
                ReportAt(piece, i, true, "PX0303", "# opens a substitution that is not closed");
                return false;
            }
            const std::string name = in.substr(i + 1, close - i - 1);
            int code = 0;
            if (!name.empty() && name[0] == '$') {
                NoteRead(name.substr(1), piece.line, Column(piece, i));
                put(kUnknown, i);
            } else if (ParseInt(name.c_str(), &code) && !name.empty() && code >= 1 && code <= 255) {
                put(code == '#' || code == ';' || code == '"' ? kUnknown : static_cast<char>(code),
                    i);
            } else {
                if (!anyMacro_ && !macros_.count(Upper(name))) {
                    ReportAt(piece, i, true, "PX0304",
                             "unknown macro #" + Quote(name) + "#: no macro statement defines it");
                }
                put(kUnknown, i);
            }
            i = close + 1;
        }
        // A quote left open by a ";" is the common mistake: say where the comment began.
        commentAt_ = i < in.size() ? static_cast<int>(i) : -1;
        e->endCol = Column(piece, i);
        return true;
    }

    // Splits an argument list the way the tokenizer does. Reports a broken token and
    // returns false.
    bool Tokenize(const Expanded& e, size_t pos, std::vector<Token>* tokens) {
        const std::string& s = e.text;
        auto skip = [&](size_t p) {
            while (p < s.size() && IsBlank(s[p])) ++p;
            return p;
        };
        pos = skip(pos);
        while (pos < s.size()) {
            Token t;
            t.start = pos;
            if (s[pos] == '"') {
                t.quoted = true;
                size_t p = pos + 1;
                for (;; ++p) {
                    if (p >= s.size()) {
                        std::string text = "quote not closed on its line";
                        if (commentAt_ >= 0)
                            text += " (a ; inside quotes starts a comment: write #;)";
                        ReportAt(e, pos, "PX0301", text);
                        return false;
                    }
                    if (s[p] == '"') break;
                    if (s[p] == '#' && p + 1 < s.size() && IsEscapeSecond(s[p + 1])) ++p;
                }
                t.text = s.substr(pos + 1, p - pos - 1);
                p = skip(p + 1);
                if (p < s.size() && s[p] != ',') {
                    ReportAt(e, p, "PX0302", "text after a closing quote");
                    return false;
                }
                pos = p;
            } else {
                size_t p = pos;
                while (p < s.size() && s[p] != ',') {
                    if (s[p] == '#' && p + 1 < s.size() && IsEscapeSecond(s[p + 1])) ++p;
                    ++p;
                }
                t.text = s.substr(pos, p - pos);
                t.text.erase(t.text.find_last_not_of(" \t") + 1);
                pos = p;
            }
            t.unknown = t.text.find(kUnknown) != std::string::npos;
            tokens->push_back(t);
            if (pos >= s.size()) break;
            pos = skip(pos + 1);  // past the comma
        }
        return true;
    }

    // Checks the tokens against signature letters as ParseArgs reads them.
    void CheckArgs(const Expanded& e, const CommandInfo& info, const std::vector<Token>& tokens) {
        const std::string letters = info.signature;
        size_t i = 0;
        for (; i < letters.size() && i < tokens.size(); ++i) {
            const Token& t = tokens[i];
            const char letter = letters[i];
            const bool absent = !t.quoted && t.text.empty();
            if (std::tolower(letter) == 'v') {
                if (t.quoted || (!t.unknown && !IsVarRef(t.text.c_str()))) {
                    ReportAt(e, t.start, "PX0204",
                             std::string(info.name) + ": argument " + std::to_string(i + 1) +
                                 " must be a variable written $name");
                }
                continue;
            }
            if (absent) {
                if (std::islower(letter)) MissingArg(e, info, i, t.start);
                continue;
            }
            NoteTokenRead(e, t);
            if (std::tolower(letter) == 'd' && !t.unknown && (t.quoted || t.text[0] != '$')) {
                int value = 0;
                if (!ParseInt(Unescape(t.text).c_str(), &value)) {
                    ReportAt(e, t.start, "PX0205",
                             std::string(info.name) + ": argument " + std::to_string(i + 1) +
                                 " is no integer: " + t.text);
                }
            }
        }
        if (tokens.size() > letters.size()) {
            ReportAt(e, tokens[letters.size()].start, "PX0202",
                     std::string(info.name) + " takes at most " + std::to_string(letters.size()) +
                         " argument" + (letters.size() == 1 ? "" : "s"));
        }
        for (size_t j = i; j < letters.size(); ++j) {
            if (std::islower(letters[j])) {
                MissingArg(e, info, j, e.text.size());
                break;
            }
        }
    }

    void MissingArg(const Expanded& e, const CommandInfo& info, size_t index, size_t at) {
        ReportAt(e, at, "PX0203",
                 std::string(info.name) + ": argument " + std::to_string(index + 1) +
                     " is missing or empty");
    }

    static std::string Unescape(const std::string& text) {
        std::string out;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '#' && i + 1 < text.size() && IsEscapeSecond(text[i + 1])) ++i;
            out.push_back(text[i]);
        }
        return out;
    }

    // A literal argument's text, or nullptr when it is known only at run time.
    static const std::string* Literal(const std::vector<Token>& tokens, size_t index) {
        if (index >= tokens.size()) return nullptr;
        const Token& t = tokens[index];
        if (t.unknown || (!t.quoted && !t.text.empty() && t.text[0] == '$')) return nullptr;
        return &t.text;
    }

    // One statement starting at pos of the expanded line.
    void CheckStatement(const Expanded& e, size_t pos) {
        const std::string& s = e.text;
        while (pos < s.size() && IsBlank(s[pos])) ++pos;
        size_t stop = pos;
        while (stop < s.size() && !IsBlank(s[stop])) ++stop;
        if (stop == pos) return;
        const std::string word = s.substr(pos, stop - pos);
        size_t args = stop;
        while (args < s.size() && IsBlank(s[args])) ++args;
        const bool hasArgs = args < s.size();

        const CommandInfo* info = FindCommandInfo(word.c_str());
        if (!info) {
            const std::string upper = Upper(word);
            if (word.find(kUnknown) == std::string::npos && !FindProc(upper) &&
                upper != kRollbackProc) {
                ReportAt(e, pos, "PX0201", "unknown command or procedure " + Quote(word));
            }
            if (FindProc(upper)) calls_[current_->name].insert(upper);
            // A procedure's arguments are evaluated as it is called; a command named at run
            // time may as well set the variables it is given.
            std::vector<Token> tokens;
            if (hasArgs && Tokenize(e, args, &tokens)) {
                const bool runTimeWord = word.find(kUnknown) != std::string::npos;
                for (const Token& t : tokens) {
                    if (!runTimeWord) {
                        NoteTokenRead(e, t);
                    } else if (!t.quoted && IsVarRef(t.text.c_str())) {
                        assigned_.insert(Upper(t.text.substr(1)));
                    }
                }
            }
            return;
        }
        if (info->flags & CommandInfo::kChangesMachine) {
            const size_t at = pos < e.cols.size() ? pos : 0;
            changes_[current_->name].push_back(
                {piece_->line, at < e.cols.size() ? e.cols[at] : e.endCol, info->name});
        }
        switch (info->form) {
            case CommandInfo::kTextIgnored:
                return;
            case CommandInfo::kStatement:
            case CommandInfo::kVarAndStatement:
                if (std::string(info->name) == "if" && hasArgs) CheckLineAfterIf(e, pos);
                return CheckNested(e, *info, pos, args, hasArgs);
            case CommandInfo::kLabel:
                if (!hasArgs) return ReportAt(e, pos, "PX0208", "goto without a label");
                return CheckGoto(e, args);
            case CommandInfo::kArgs:
                break;
        }
        std::vector<Token> tokens;
        if (hasArgs && !Tokenize(e, args, &tokens)) return;
        CheckArgs(e, *info, tokens);
        NoteAssignment(*info, tokens);
        CheckOperands(e, *info, tokens);
    }

    void CheckNested(const Expanded& e, const CommandInfo& info, size_t pos, size_t args,
                     bool hasArgs) {
        size_t statement = args;
        if (info.form == CommandInfo::kVarAndStatement) {
            const size_t comma = hasArgs ? e.text.find(',', args) : std::string::npos;
            std::string var = hasArgs ? e.text.substr(args, comma - args) : "";
            var.erase(var.find_last_not_of(" \t") + 1);
            if (!hasArgs || (!IsVarRef(var.c_str()) && var.find(kUnknown) == std::string::npos)) {
                return ReportAt(e, hasArgs ? args : pos, "PX0204",
                                "eval: argument 1 must be a variable written $name");
            }
            if (comma == std::string::npos)
                return ReportAt(e, e.text.size(), "PX0208", "eval without a statement");
            NoteSet(var.substr(1));
            statement = comma + 1;
            while (statement < e.text.size() && IsBlank(e.text[statement])) ++statement;
            if (statement >= e.text.size()) return;  // an empty statement gives 0
        } else if (!hasArgs) {
            return ReportAt(e, pos, "PX0208", std::string(info.name) + " without a statement");
        }
        // if and eval may invert their statement's result; @ runs its statement as written.
        const bool mayInvert = std::string(info.name) != "@";
        if (mayInvert && statement < e.text.size() && e.text[statement] == '!') ++statement;
        CheckStatement(e, statement);
    }

    // A false if skips the next line of the file whatever it holds: a blank or comment line
    // there makes the test skip nothing, and the statement meant to depend on it always runs;
    // an endp there is skipped, and the run goes on past the procedure.
    void CheckLineAfterIf(const Expanded& e, size_t pos) {
        const int next = pieceIndex_ + 1;
        if (next > current_->end) return;
        const std::string& text = pieces_[next].text;
        const size_t first = text.find_first_not_of(" \t");
        if (next < current_->end && first == std::string::npos) {
            ReportAt(e, pos, "PX0210",
                     "if followed by a blank line: a false test skips only the blank line", false);
        } else if (next < current_->end && text[first] == ';') {
            ReportAt(e, pos, "PX0212",
                     "if followed by a comment line: a false test skips only the comment", false);
        } else if (next == current_->end) {
            ReportAt(e, pos, "PX0213",
                     "if followed by endp: a false test skips the endp and the run goes on past "
                     "procedure " +
                         current_->name + " (error 7 at the end of the file)");
        }
    }

    void CheckGoto(const Expanded& e, size_t args) {
        size_t stop = args;
        while (stop < e.text.size() && e.text[stop] != ',') ++stop;
        std::string label = e.text.substr(args, stop - args);
        label.erase(label.find_last_not_of(" \t") + 1);
        if (label.find(kUnknown) != std::string::npos || label.find('"') != std::string::npos)
            return;
        const std::string upper = Upper(label);
        bool indented = false;
        for (int i = current_->start + 1; i < current_->end; ++i) {
            const std::string& text = pieces_[i].text;
            const size_t at = text.find_first_not_of(" \t");
            if (at == std::string::npos) continue;
            const int length = LabelLength(text.c_str() + at);
            if (length == 0 || Upper(text.substr(at, length)) != upper) continue;
            if (at == 0) return;
            indented = true;
        }
        if (indented) {
            ReportAt(e, args, "PX0207",
                     "label " + Quote(label) +
                         " is indented: goto finds only labels in the first column");
        } else {
            ReportAt(e, args, "PX0206",
                     "label " + Quote(label) + " is not in procedure " + current_->name);
        }
    }

    // What the variable arguments of a command assign, for the Identify check: set with a
    // value writes the global; a local (lset) is gone when Identify returns.
    void NoteAssignment(const CommandInfo& info, const std::vector<Token>& tokens) {
        const std::string name = info.name;
        const bool onlyTests = (name == "set" || name == "lset") && tokens.size() < 2;
        for (size_t i = 0; i < tokens.size() && info.signature[i]; ++i) {
            if (std::tolower(info.signature[i]) != 'v' || onlyTests) continue;
            if (tokens[i].unknown) anyVar_ = true;
            if (!IsVarRef(tokens[i].text.c_str())) continue;
            if (name == "lset") {
                assigned_.insert(Upper(tokens[i].text.substr(1)));
            } else {
                NoteSet(tokens[i].text.substr(1));
            }
        }
    }
    void NoteSet(const std::string& var) {
        if (var.find(kUnknown) != std::string::npos) anyVar_ = true;
        sets_[current_->name].insert(Upper(var));
        assigned_.insert(Upper(var));
    }

    void CheckOperands(const Expanded& e, const CommandInfo& info,
                       const std::vector<Token>& tokens) {
        const std::string name = info.name;
        if (name == "intcmp" || name == "strcmp" || name == "stricmp") {
            static const std::set<std::string> kOps = {"=", "<", ">", "<=", ">="};
            const std::string* op = Literal(tokens, 1);
            if (op && !kOps.count(*op)) {
                ReportAt(e, tokens[1].start, "PX0209",
                         name + ": unknown comparison " + *op + " (use =, <, >, <= or >=)");
            }
        } else if (name == "prompt") {
            // The type's first character is always the icon: "yn" is an icon y and the
            // buttons "n", which shows only OK.
            const std::string* type = Literal(tokens, 1);
            if (!type) return;
            for (const char* buttons : {"ync", "yn", "rc", "oc", "ari"}) {
                if (EqualsNoCase(*type, buttons)) {
                    ReportAt(e, tokens[1].start, "PX0211",
                             "prompt: the type begins with its icon (!, -, ? or another "
                             "character), so " +
                                 *type + " shows only OK: write ?" + *type,
                             false);
                }
            }
        } else if (name == "copy") {
            CheckCopySource(e, tokens);
        } else if (name == "rback_addproc") {
            const std::string* proc = Literal(tokens, 0);
            if (proc && !FindProc(Upper(Unescape(*proc)))) {
                ReportAt(e, tokens[0].start, "PX0401",
                         "rback_addproc: the file has no procedure " + Unescape(*proc));
            }
        }
    }

    // copy finds a relative source in the installation file's folder (the first file
    // source): one that is not there, or an absolute one, comes from wherever the file is run.
    void CheckCopySource(const Expanded& e, const std::vector<Token>& tokens) {
        const std::string* literal = Literal(tokens, 0);
        if (!literal || options_.folder.empty()) return;
        const std::string source = Unescape(*literal);
        if (source.empty()) return;
        if (source[0] == '\\' || source[0] == '/' || (source.size() > 1 && source[1] == ':')) {
            ReportAt(e, tokens[0].start, "PX0215",
                     "copy: the source " + Quote(source) +
                         " is an absolute path: it is taken from the machine, not from the "
                         "installation file's folder",
                     false);
        } else if (!ExistsInFolder(source)) {
            ReportAt(
                e, tokens[0].start, "PX0215",
                "copy: the source " + Quote(source) + " is not in the installation file's folder",
                false);
        }
    }

    // Whether the relative path names a file below the file's folder, each part compared
    // without regard to case, as Windows compares names.
    bool ExistsInFolder(const std::string& relative) {
        namespace fs = std::filesystem;
        fs::path at(options_.folder);
        std::string rest = relative;
        std::replace(rest.begin(), rest.end(), '/', '\\');
        std::stringstream parts(rest);
        for (std::string part; std::getline(parts, part, '\\');) {
            if (part.empty() || part == ".") continue;
            const std::map<std::string, fs::path>& names = Listing(at);
            const auto found = names.find(Upper(part));
            if (found == names.end()) return false;
            at = found->second;
        }
        std::error_code ec;
        return fs::is_regular_file(at, ec);
    }

    // The entries of a folder by their upper-case names, read once per check: a file of
    // many copy statements reads its folder once.
    const std::map<std::string, std::filesystem::path>& Listing(
        const std::filesystem::path& folder) {
        auto [entry, added] = listings_.try_emplace(folder.string());
        if (added) {
            std::error_code ec;
            for (const auto& item : std::filesystem::directory_iterator(folder, ec))
                entry->second.emplace(Upper(item.path().filename().u8string()), item.path());
        }
        return entry->second;
    }

    // Variables read and set, for the check that every variable read is set somewhere.
    void NoteRead(const std::string& name, int line, int column) {
        if (name.find(kUnknown) != std::string::npos) return;
        reads_.push_back({Upper(name), line, column});
    }
    void NoteTokenRead(const Expanded& e, const Token& t) {
        if (t.quoted || t.unknown || !IsVarRef(t.text.c_str())) return;
        NoteRead(t.text.substr(1), piece_->line,
                 t.start < e.cols.size() ? e.cols[t.start] : e.endCol);
    }

    // A variable that no line of the file sets, and that the program does not set, stops
    // the run with error 1 when it is read. A name set at run time ("$#name#") may be any.
    void CheckReads() {
        if (anyVar_) return;
        std::set<std::string> reported;
        for (const Read& read : reads_) {
            const std::string& name = read.name;
            const bool parameter =
                std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
            if (parameter || assigned_.count(name) || kPredefined.count(name) ||
                !reported.insert(name).second)
                continue;
            Report(read.line, read.column, false, "PX0214",
                   "$" + Quote(name) + " is read, but no line sets it: error 1 when it runs");
        }
    }

    void CheckBody(const Proc& proc) {
        current_ = &proc;
        for (int i = proc.start + 1; i < proc.end; ++i) {
            piece_ = &pieces_[i];
            pieceIndex_ = i;
            Expanded e;
            if (piece_->text.empty() || tooLong_.count(static_cast<size_t>(i)) ||
                !Expand(*piece_, &e))
                continue;
            if (!e.text.empty() && e.text[0] == ':') {
                ReportAt(e, 0, "PX0305", "a statement cannot begin with a colon");
                continue;
            }
            const int label = LabelLength(e.text.c_str());
            CheckStatement(e, label ? static_cast<size_t>(label) + 1 : 0);
        }
    }

    // Identify must set the three variables the installation reads back, itself or in a
    // procedure it calls.
    void CheckIdentify() {
        const Proc* identify = FindProc("IDENTIFY");
        if (!identify) return;
        std::set<std::string> seen, sets;
        std::vector<std::string> todo = {"IDENTIFY"};
        while (!todo.empty()) {
            std::string name = todo.back();
            todo.pop_back();
            if (!seen.insert(name).second) continue;
            sets.insert(sets_[name].begin(), sets_[name].end());
            todo.insert(todo.end(), calls_[name].begin(), calls_[name].end());
        }
        for (const char* var : {"INST_TYPE", "DEVNAME", "INST_NAME"}) {
            if (!sets.count(var)) {
                Report(pieces_[identify->start].line, 1, true, "PX0110",
                       std::string("Identify never sets $") + var);
            }
        }
        for (const std::string& name : seen) {
            for (const Change& change : changes_[name]) {
                Report(change.line, change.column, false, "PX0112",
                       std::string(change.command) +
                           " changes the machine while Identify runs, before the journal "
                           "starts: a failed or declined installation does not take it back");
            }
        }
    }

    const Options& options_;
    std::vector<Diagnostic>& out_;
    std::vector<Piece> pieces_;
    std::vector<Proc> procs_;
    std::set<std::string> macros_;
    std::set<size_t> tooLong_;  // pieces whose first word fails the load
    bool anyMacro_ = false;
    const Proc* current_ = nullptr;
    const Piece* piece_ = nullptr;
    int pieceIndex_ = 0;
    int commentAt_ = -1;
    std::map<std::string, std::set<std::string>> sets_, calls_;
    struct Change {
        int line;
        int column;
        const char* command;
    };
    std::map<std::string, std::vector<Change>> changes_;  // by procedure
    struct Read {
        std::string name;  // upper case
        int line;
        int column;
    };
    std::vector<Read> reads_;
    std::set<std::string> assigned_;  // every variable a line sets, upper case
    std::map<std::string, std::map<std::string, std::filesystem::path>> listings_;
    bool anyVar_ = false;  // some variable is named at run time
    // Set by the program, not by a line of the file.
    static inline const std::set<std::string> kPredefined = {
        "LASTWINERROR", "QUIET", "NEEDREBOOT", "EXERETURNED", "PARAMCNT", "ONERRORPROC"};
};

}  // namespace

std::vector<Diagnostic> CheckText(const std::string& bytes, const Options& options) {
    std::vector<Diagnostic> out;
    Checker(options, out).Run(bytes);
    std::stable_sort(out.begin(), out.end(), [](const Diagnostic& a, const Diagnostic& b) {
        return a.line != b.line ? a.line < b.line : a.column < b.column;
    });
    return out;
}

std::vector<Diagnostic> CheckFile(const std::string& path, const Options& options) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {{1, 1, true, "PX0001", "cannot read the file"}};
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Options withFolder = options;
    if (withFolder.folder.empty() && withFolder.findSources) {
        const size_t slash = path.find_last_of("\\/:");
        withFolder.folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    }
    return CheckText(bytes, withFolder);
}

}  // namespace pxfcheck
