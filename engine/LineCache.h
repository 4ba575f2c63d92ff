// What the interpreter works out from a line that gives the same answer every time it runs.
//
// A line without "#...#" substitution expands to the same text each time, so its expanded
// text, the position of the statement after its label, and for each statement run from it
// (its own, and one that "if" or "@" runs) the command word, handler and argument tokens
// are kept here and reused; a line with a substitution is expanded every time. Labels are kept per
// procedure and label. Everything here is worked out from one line list (the file's lines or the
// rollback lines being run) and the procedure table: the cache empties itself whenever either
// changes or the interpreter reads another list.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/ItemArray.h"
#include "engine/TextCase.h"

class CScriptEngine;
using ScriptCommandHandler = int (*)(CScriptEngine& engine, char* args);

// One argument token of a kept statement, as NextToken cuts it out of the line.
struct CachedToken {
    int from = 0;      // offset of the list position the token is read from
    int at = 0;        // offset of the token, where NextToken writes it
    std::string text;  // the token, escapes resolved
    bool quoted = false;
    bool varRef = false;  // an unquoted "$name"
    bool isInt = false;   // text reads as an integer (ParseInt), as number
    int number = 0;
};

// A statement of a kept line: the text at a fixed offset of the expanded line, either the
// line's own statement or one run by another statement on the same line ("if X", "@ X").
struct CachedStatement {
    int offset = 0;                          // of the statement text in the expanded line
    bool split = false;                      // word and args below are known
    std::string word;                        // its command word
    int args = -1;                           // offset of the argument text, -1 for none
    ScriptCommandHandler handler = nullptr;  // the word's command, under handlerVersion
    unsigned handlerVersion = 0;
    // The argument list cut into tokens once (kTokens), or found to raise an error on the
    // way (kNoTokens: it is cut up as written every time, so the error comes where it did).
    enum Tokens : unsigned char { kUntried, kTokens, kNoTokens };
    Tokens tokenState = kUntried;
    std::vector<CachedToken> tokens;
    int end = -1;           // offset of the position after the last token, -1 for none
    bool endLoops = false;  // that position holds text, so a parse goes on reading there
    // The line a jump statement found its label on, -1 before (a statement's lines and
    // procedure stay as they are while it is kept).
    mutable int jumpLine = -1;

    // Cuts a copy of the argument text of line (the expanded line) into tokens the way
    // ParseArgs reads them; sets tokenState.
    void Tokenize(const std::string& line);
};

struct CachedLine {
    enum State : unsigned char { kUnknown, kSubstituted, kPlain };
    State state = kUnknown;
    bool procKnown = false;  // procStart and procEnd below are known
    int statement = 0;       // offset of the statement after the label in the expanded text
    int procStart = 0;       // the "proc" and "endp" lines of the procedure holding the line
    int procEnd = 0;
    std::string text;  // the expanded line (kPlain only)
    // The statements at their offsets, the line's own first; each owned apart, so that one
    // added by a statement running inside another leaves the outer one in place.
    std::vector<std::unique_ptr<CachedStatement>> statements;
    CachedStatement* own = nullptr;  // the one at statement, once split
    std::string label;               // the label the line jumped to last, as written
    int labelLine = -1;              // and its line, -1 for none

    // The statement at offset, added when new; nullptr without memory for it.
    CachedStatement* StatementAt(int offset);
};

class CLineCache {
public:
    // The entry of line index of lines, under the given procedure table and rollback body
    // start; nullptr when index is outside the list. Empties the cache first when any of
    // them changed since the last call.
    CachedLine* Find(const CItemArray& lines, int index, const CItemArray& procs, int bodyIndex) {
        if (__builtin_expect(&lines != lines_ || lines.GetVersion() != linesVersion_ ||
                                 procs.GetVersion() != procsVersion_ || bodyIndex != bodyIndex_,
                             0)) {
            Reset(lines, procs, bodyIndex);
        }
        if (static_cast<size_t>(index) >= entries_.size()) return nullptr;  // also below 0
        CachedLine* entry = entries_[static_cast<size_t>(index)].get();
        return entry ? entry : AddEntry(index);
    }

    // The line index of label (any case) in the procedure whose "proc" line is procStart, or
    // -1 when it is not kept.
    int FindLabel(int procStart, std::string_view label);
    void AddLabel(int procStart, std::string_view label, int line);

    // Changes whenever the cache empties itself: an entry found before is gone after.
    unsigned GetEpoch() const { return epoch_; }

private:
    // A new entry for line index; raises 2 without memory.
    CachedLine* AddEntry(int index);
    void Reset(const CItemArray& lines, const CItemArray& procs, int bodyIndex);
    const std::string& LabelKey(int procStart, std::string_view label);

    const CItemArray* lines_ = nullptr;
    unsigned long long linesVersion_ = 0;
    unsigned long long procsVersion_ = 0;
    int bodyIndex_ = 0;
    unsigned epoch_ = 0;
    std::vector<std::unique_ptr<CachedLine>> entries_;
    std::unordered_map<std::string, int> labels_;  // "procStart:LABEL" -> line
    std::string key_;                              // scratch for label keys
};
