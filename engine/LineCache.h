// What the interpreter works out from a line that gives the same answer every time it runs.
//
// A line without "#...#" substitution expands to the same text each time, so its expanded
// text, the position of the statement after its label, the statement's command word and
// argument position are kept here and reused; a line with a substitution is expanded every
// time. Labels are kept per procedure and label. Everything here is worked out from one line
// list (the file's lines or the rollback lines being run) and the procedure table: the
// cache empties itself whenever either changes or the interpreter reads another list.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/ItemArray.h"
#include "engine/TextCase.h"

class CScriptEngine;
using ScriptCommandHandler = int (*)(CScriptEngine& engine, char* args);

struct CachedLine {
    enum State : unsigned char { kUnknown, kSubstituted, kPlain };
    State state = kUnknown;
    bool split = false;      // word and args below are known
    bool procKnown = false;  // procStart and procEnd below are known
    int statement = 0;       // offset of the statement after the label in the expanded text
    int args = -1;           // offset of the argument text, -1 for none
    int procStart = 0;       // the "proc" and "endp" lines of the procedure holding the line
    int procEnd = 0;
    std::string text;                        // the expanded line (kPlain only)
    std::string word;                        // the statement's command word
    ScriptCommandHandler handler = nullptr;  // the word's command, under handlerVersion
    unsigned handlerVersion = 0;
    std::string label;   // the label the line jumped to last, as written
    int labelLine = -1;  // and its line, -1 for none
};

class CLineCache {
public:
    // The entry of line index of lines, under the given procedure table and rollback body
    // start; nullptr when index is outside the list. Empties the cache first when any of
    // them changed since the last call.
    CachedLine* Find(const CItemArray& lines, int index, const CItemArray& procs, int bodyIndex) {
        if (&lines != lines_ || lines.GetVersion() != linesVersion_ ||
            procs.GetVersion() != procsVersion_ || bodyIndex != bodyIndex_) {
            Reset(lines, procs, bodyIndex);
        }
        if (index < 0 || index >= static_cast<int>(entries_.size())) return nullptr;
        std::unique_ptr<CachedLine>& entry = entries_[static_cast<size_t>(index)];
        if (!entry) entry = NewEntry();
        return entry.get();
    }

    // The line index of label (any case) in the procedure whose "proc" line is procStart, or
    // -1 when it is not kept.
    int FindLabel(int procStart, std::string_view label);
    void AddLabel(int procStart, std::string_view label, int line);

private:
    static std::unique_ptr<CachedLine> NewEntry();
    void Reset(const CItemArray& lines, const CItemArray& procs, int bodyIndex);
    const std::string& LabelKey(int procStart, std::string_view label);

    const CItemArray* lines_ = nullptr;
    unsigned long long linesVersion_ = 0;
    unsigned long long procsVersion_ = 0;
    int bodyIndex_ = 0;
    std::vector<std::unique_ptr<CachedLine>> entries_;
    std::unordered_map<std::string, int> labels_;  // "procStart:LABEL" -> line
    std::string key_;                              // scratch for label keys
};
