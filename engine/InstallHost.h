// CInstallHost: everything a running installation file says to the user goes through here.
//
// The engine never shows anything itself; the install flow attaches a dialog host, the
// uninstall flow a silent one. A host may stop the run by throwing the int 102 (the user
// cancelled). The operations below keep their declaration order; apart from Prompt and
// AskReplaceNewer the base versions do nothing.
#pragma once

#include <cstdint>

// The Win32 find record, declared without <windows.h> so that the engine side stays free
// of it. Only implementations that read the records include the Windows headers.
struct _WIN32_FIND_DATAA;

class CInstallHost {
public:
    virtual ~CInstallHost() = default;

    // The run is over or being rolled back: close any progress display.
    virtual void EndRun() {}
    virtual void ResetProgressSteps() {}
    // Adds steps to the progress total; returns the steps added (the base adds nothing).
    virtual int AddProgressSteps(int steps) {
        (void)steps;
        return 0;
    }
    virtual void ShowProgress() {}
    virtual void HideProgress() {}
    // pos -1 advances by one step; any other value sets the bar.
    virtual void ProgressStep(int pos) { (void)pos; }
    virtual void SetProgressText(const char* text) { (void)text; }
    virtual void CheckCancel() {}
    // Called before the recorded rollback procedure runs.
    virtual void OnRollback() {}
    virtual void BeginFileCopy(const char* sourcePath, std::uint32_t size) {
        (void)sourcePath;
        (void)size;
    }
    virtual void FileCopyProgress(std::uint32_t bytesCopied) { (void)bytesCopied; }
    virtual void EndFileCopy() {}
    // Asks a question. type: character 0 picks the icon ('!', '-', '?', other), the rest
    // names the buttons ("ync", "yn", "rc", "oc", "ari", else OK) and an upper-case letter
    // marks the default. Returns 1 for OK/Retry/Yes, 0 for Cancel/Abort, 2 for Ignore/No.
    virtual int Prompt(const char* text, const char* type) = 0;
    virtual void ShowError(const char* text) { Prompt(text, "-"); }
    // The file at path is newer than the one to install: 1 replace it, 2 keep it, 0 abort.
    virtual int AskReplaceNewer(const char* path, const _WIN32_FIND_DATAA* source,
                                const _WIN32_FIND_DATAA* destination) = 0;
    // Whether someone can answer Prompt and AskReplaceNewer; a script reads it as $quiet.
    virtual bool CanAnswer() const { return true; }
};
