#include "engine/LineCache.h"

#include <charconv>
#include <new>

#include "engine/ScriptError.h"

std::unique_ptr<CachedLine> CLineCache::NewEntry() {
    try {
        return std::make_unique<CachedLine>();
    } catch (const std::bad_alloc&) {
        ThrowScriptError(ScriptError::kNoMemory);
    }
}

void CLineCache::Reset(const CItemArray& lines, const CItemArray& procs, int bodyIndex) {
    lines_ = &lines;
    linesVersion_ = lines.GetVersion();
    procsVersion_ = procs.GetVersion();
    bodyIndex_ = bodyIndex;
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
