// A host that records the calls a run makes to it, and can cancel a copy like the progress
// window's Cancel button.
#pragma once

#include <string>
#include <vector>

#include "engine/ScriptError.h"
#include "install/InstallHost.h"

class RecordingHost : public CInstallHost {
public:
    std::vector<std::string> calls;
    // FileCopyProgress call (1-based) that throws 102; 0 never.
    int cancelAtProgress = 0;
    // BeginFileCopy throws 102.
    bool cancelAtBegin = false;

    void EndRun() override { calls.push_back("EndRun"); }
    void OnRollback() override { calls.push_back("OnRollback"); }
    void BeginFileCopy(const char* path, std::uint32_t size) override {
        calls.push_back("Begin " + std::string(path) + " " + std::to_string(size));
        if (cancelAtBegin) ThrowScriptError(ScriptError::kCancelled);
    }
    void FileCopyProgress(std::uint32_t done) override {
        calls.push_back("Progress " + std::to_string(done));
        if (++progressCalls_ == cancelAtProgress) ThrowScriptError(ScriptError::kCancelled);
    }
    void EndFileCopy() override { calls.push_back("End"); }
    int Prompt(const char*, const char*) override { return 1; }
    int AskReplaceNewer(const char*, const _WIN32_FIND_DATAA*, const _WIN32_FIND_DATAA*) override {
        return 1;
    }

    int Count(const std::string& call) const {
        int n = 0;
        for (const std::string& c : calls) n += c == call;
        return n;
    }

private:
    int progressCalls_ = 0;
};
