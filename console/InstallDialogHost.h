// CInstallDialogHost: the host of interactive installations. Questions become message
// boxes, progress goes to a CProgressDlg, and Cancel in that window (or in the question
// about replacing a newer file) stops the run by raising kCancelled.
#pragma once

#include "console/ProgressDlg.h"
#include "engine/InstallHost.h"

#include <memory>

class CInstallDialogHost : public CInstallHost {
public:
    CInstallDialogHost() = default;
    // Closes the progress window if it is open, re-enabling its owner.
    ~CInstallDialogHost() override;
    CInstallDialogHost(const CInstallDialogHost&) = delete;
    CInstallDialogHost& operator=(const CInstallDialogHost&) = delete;

    void EndRun() override;
    void ResetProgressSteps() override;
    // Adds to the step total that the next ShowProgress takes as the range; returns steps.
    int AddProgressSteps(int steps) override;
    // Opens the progress window over the main window with the range 0..step total. While
    // it is open, only the range changes.
    void ShowProgress() override;
    void HideProgress() override;
    // pos -1 steps the bar, any other value sets it; then raises kCancelled if the user
    // cancelled.
    void ProgressStep(int pos) override;
    // Sets the text line, leaving the bar; then raises kCancelled if the user cancelled.
    void SetProgressText(const char* text) override;
    // Raises kCancelled if the user cancelled; the bar stays.
    void CheckCancel() override;
    // A message box built from the type string; returns 1, 0 or 2.
    int Prompt(const char* text, const char* type) override;
    // Yes/No/Cancel with No the default: 1 replace, 2 keep; Cancel raises kCancelled.
    int AskReplaceNewer(const char* path, const _WIN32_FIND_DATAA* source,
                        const _WIN32_FIND_DATAA* destination) override;
    // False in a window station that shows nothing (a service's): no box reaches a user.
    bool CanAnswer() const override;

    int GetProgressSteps() const { return m_steps; }
    CProgressDlg& GetProgressDlg() { return m_progress; }

private:
    void UpdateProgress(const wchar_t* text, int position);

    int m_steps = 0;
    CProgressDlg m_progress;
};

// The installation flows' maker of the host for runs with windows.
std::unique_ptr<CInstallHost> MakeInstallDialogHost();
