#include "engine/LineCache.h"

#include <charconv>
#include <new>

#include "engine/ScriptError.h"
#include "engine/Tokenizer.h"

CachedLine* CLineCache::AddEntry(int index) {
    std::unique_ptr<CachedLine>& entry = entries_[static_cast<size_t>(index)];
    try {
        entry = std::make_unique<CachedLine>();
    } catch (const std::bad_alloc&) {
        ThrowScriptError(ScriptError::kNoMemory);
    }
    return entry.get();
}

CachedStatement* CachedLine::StatementAt(int offset) {
    for (const std::unique_ptr<CachedStatement>& kept : statements) {
        if (kept->offset == offset) return kept.get();
    }
    try {
        statements.push_back(std::make_unique<CachedStatement>());
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    statements.back()->offset = offset;
    return statements.back().get();
}

void CachedStatement::Tokenize(const std::string& line) {
    tokenState = kNoTokens;
    tokens.clear();
    if (args < 0) return;
    try {
        std::string scratch(line, static_cast<size_t>(args));
        char* const base = scratch.data();
        char* pos = base;
        for (;;) {
            const bool quoted = *SkipBlanks(pos) == '"';
            const int from = args + static_cast<int>(pos - base);
            char* next = nullptr;
            char* token = NextToken(pos, &next);
            if (!token) {
                end = from;
                endLoops = *pos != '\0';
                break;
            }
            CachedToken& kept = tokens.emplace_back();
            kept.from = from;
            kept.at = args + static_cast<int>(token - base);
            kept.text = token;
            kept.quoted = quoted;
            kept.varRef = !quoted && IsVarRef(token);
            kept.isInt = ParseInt(token, &kept.number);
            if (!next) {
                end = -1;
                endLoops = false;
                break;
            }
            pos = next;
        }
        tokenState = kTokens;
    } catch (int) {
        // The list raises an error when read: it is read as written, so that the error
        // comes at the argument that raises it, after those before it were evaluated.
        tokens.clear();
    } catch (const std::bad_alloc&) {
        tokens.clear();
    }
}

void CLineCache::Reset(const CItemArray& lines, const CItemArray& procs, int bodyIndex) {
    lines_ = &lines;
    linesVersion_ = lines.GetVersion();
    procsVersion_ = procs.GetVersion();
    bodyIndex_ = bodyIndex;
    ++epoch_;
    labels_.clear();
    entries_.clear();
    try {
        entries_.resize(static_cast<size_t>(lines.GetCount()));
    } catch (const std::bad_alloc&) {
        ThrowScriptError(ScriptError::kNoMemory);
    }
}

const std::string& CLineCache::LabelKey(int procStart, std::string_view label) {
    char number[16];
    auto written = std::to_chars(number, number + sizeof number, procStart);
    key_.assign(number, written.ptr).append(1, ':');
    for (char c : label) key_.append(1, ToUpperAscii(c));
    return key_;
}

int CLineCache::FindLabel(int procStart, std::string_view label) {
    auto it = labels_.find(LabelKey(procStart, label));
    return it == labels_.end() ? -1 : it->second;
}

void CLineCache::AddLabel(int procStart, std::string_view label, int line) {
    try {
        labels_.emplace(LabelKey(procStart, label), line);
    } catch (const std::bad_alloc&) {
        // Not kept: the next jump searches again.
    }
}
