// CSilentInstallHost: the host of unattended runs (uninstallation). Shows nothing and
// answers every question with the default its type string names.
#pragma once

#include "engine/InstallHost.h"

class CSilentInstallHost : public CInstallHost {
public:
    explicit CSilentInstallHost(int replaceNewerAnswer = 1)
        : replaceNewerAnswer_(replaceNewerAnswer) {}

    // The answer letter is the first upper-case letter from index 1 on, else character 1
    // made upper case. 'A' and 'C' give 0, 'I' and 'N' give 2, anything else (none too) 1.
    int Prompt(const char* text, const char* type) override;
    // Always the stored answer.
    int AskReplaceNewer(const char* path, const _WIN32_FIND_DATAA* source,
                        const _WIN32_FIND_DATAA* destination) override;

    // Nobody is asked: a script sees $quiet 1.
    bool CanAnswer() const override { return false; }

    void SetReplaceNewerAnswer(int answer) { replaceNewerAnswer_ = answer; }
    int GetReplaceNewerAnswer() const { return replaceNewerAnswer_; }

private:
    int replaceNewerAnswer_;
};
