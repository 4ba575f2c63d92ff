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
}

void CRollbackScript::AddUndoLine(std::string_view text) {
    if (recording_) lines_.InsertAt(bodyIndex_, text);
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
    for (int i = 0; i < lines_.GetCount(); ++i) {
        const char* line = lines_.GetAt(i);
        std::fprintf(file.get(), "%s\n", line ? line : "");
    }
    return 1;
}
