#include "rollback/RollbackScript.h"

#include <cstdio>
#include <memory>
#include <string>

void CRollbackScript::Begin() {
    lines_.RemoveAll();
    recording_ = true;
    lines_.Add(kHeader);
    lines_.Add(std::string("proc ") + kProcName);
    bodyIndex_ = lines_.Add("endp");
    undoCount_ = earlierUndoCount_ = earlierLineCount_ = 0;
}

void CRollbackScript::AddUndoLine(std::string_view text) {
    if (!recording_) return;
    lines_.InsertAt(bodyIndex_, text);
    ++undoCount_;
}

void CRollbackScript::ContinueFrom(CRollbackScript& earlier) {
    lines_.RemoveAll();
    for (int i = 0; i < earlier.lines_.GetCount(); ++i) {
        const char* line = earlier.lines_.GetAt(i);
        lines_.Add(line ? line : "");
    }
    recording_ = earlier.recording_;
    bodyIndex_ = earlier.bodyIndex_;
    undoCount_ = earlierUndoCount_ = earlier.undoCount_;
    earlierLineCount_ = lines_.GetCount();
    earlier.lines_.RemoveAll();
    earlier.recording_ = false;
}

void CRollbackScript::AddProcedure(const CItemArray& lines, int first, int last,
                                   const char* newFirstLine) {
    if (!recording_) return;
    lines_.Add("; ");
    if (newFirstLine) {
        lines_.Add(newFirstLine);
        ++first;
    }
    for (int i = first; i <= last; ++i) {
        const char* line = lines.GetAt(i);
        lines_.Add(line ? line : "");
    }
}

int CRollbackScript::Save(const char* path) const {
    if (!recording_) return 0;
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "wt"));
    if (!file) return 0;
    // The lines of this run: its undo lines (in front of the earlier run's), the "endp", and
    // the procedures copied after the earlier run's.
    const int ownUndoLines = undoCount_ - earlierUndoCount_;
    const int endLine = bodyIndex_ + undoCount_;
    const int ownProcedures =
        earlierLineCount_ > 0 ? earlierLineCount_ + ownUndoLines : endLine + 1;
    for (int i = 0; i < lines_.GetCount(); ++i) {
        if ((i >= bodyIndex_ + ownUndoLines && i < endLine) || (i > endLine && i < ownProcedures))
            continue;
        const char* line = lines_.GetAt(i);
        std::fprintf(file.get(), "%s\n", line ? line : "");
    }
    return 1;
}
