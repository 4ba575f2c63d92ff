// CRollbackScript: the undo procedure a run records, kept as the lines of an installation
// file of its own:
//
//   ;OBRIX_INST_FILE
//   proc DefaultRollback
//   <undo lines, newest first>
//   endp
//   <procedures copied by rback_addproc, each after a "; " line>
//
// A rollback runs its DefaultRollback body; rback_save writes the lines out, so the saved
// file can serve later as the device's uninstallation script. Pure text work: no Windows
// headers, so the engine core can hold one.
#pragma once

#include <string_view>

#include "engine/ItemArray.h"

class CRollbackScript {
public:
    static constexpr const char* kHeader = ";OBRIX_INST_FILE";
    static constexpr const char* kProcName = "DefaultRollback";

    CRollbackScript() = default;
    CRollbackScript(const CRollbackScript&) = delete;
    CRollbackScript& operator=(const CRollbackScript&) = delete;

    // Starts recording with the three lines of an empty DefaultRollback procedure.
    void Begin();
    // While recording: inserts a copy of text at the head of the DefaultRollback body, so
    // that it runs before every line recorded earlier. Otherwise nothing.
    void AddUndoLine(std::string_view text);
    // While recording: appends "; " and a copy of lines[first..last] (both included). With
    // newFirstLine, that line replaces lines[first]. Indexes outside lines add empty lines
    // for what is missing, never read past it. Otherwise nothing.
    void AddProcedure(const CItemArray& lines, int first, int last,
                      const char* newFirstLine = nullptr);
    // While recording: writes every line, each ended by a line end, to path (created or
    // truncated, text mode); after ContinueFrom, only the lines recorded since. 1 when
    // written; 0 when not recording or path cannot be opened.
    int Save(const char* path) const;
    // Takes over the lines and state of earlier, which keeps none: the undo lines recorded
    // from here on run before earlier's, and a rollback takes back both runs as one. Save
    // leaves earlier's lines out, so that an uninstaller saved by the later run does not
    // repeat the earlier run's undoing.
    void ContinueFrom(CRollbackScript& earlier);
    // Frees all lines; recording and body index stay as they are.
    void Clear() { lines_.Clear(); }

    bool IsRecording() const { return recording_; }
    void SetRecording(bool on) { recording_ = on; }
    // Index at which undo lines go in: the first line of the DefaultRollback body.
    int GetBodyIndex() const { return bodyIndex_; }
    const CItemArray& GetLines() const { return lines_; }

private:
    CItemArray lines_{50, 10};
    bool recording_ = false;
    int bodyIndex_ = 0;
    // Undo lines recorded since Begin, those of an earlier run's script included.
    int undoCount_ = 0;
    // Of an earlier run's script taken over: its undo lines, and its line count then.
    int earlierUndoCount_ = 0;
    int earlierLineCount_ = 0;
};
