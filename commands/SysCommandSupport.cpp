#include "commands/SysCommandSupport.h"

#include <vector>

#include "commands/FileSource.h"
#include "engine/ScriptEngine.h"
#include "engine/Tokenizer.h"
#include "platform/PathHelpers.h"

namespace tolv {

std::string QuoteForScript(std::string_view text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '#' || c == ';' || c == '"') quoted += '#';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

std::string RawArguments::VariableAt(int index) const {
    // NextToken cuts in place, so it works on a copy; the handler's ParseArgs has accepted
    // the same text, so the tokens come out the same and nothing is raised here.
    std::vector<char> copy(text_.begin(), text_.end());
    copy.push_back('\0');
    char* pos = copy.data();
    for (int i = 0; pos; ++i) {
        const bool quoted = *SkipBlanks(pos) == '"';
        const char* token = NextToken(pos, &pos);
        if (!token) break;
        if (i == index) return !quoted && IsVarRef(token) ? std::string(token + 1) : std::string();
    }
    return std::string();
}

void StoreArgumentBack(CScriptEngine& engine, const RawArguments& raw, int index,
                       const char* before, const std::string& after) {
    if (!before || after == before) return;
    const std::string name = raw.VariableAt(index);
    if (name.empty()) return;
    if (engine.HasLocalVar(name.c_str())) {
        engine.SetLocalVar(name.c_str(), after.c_str());
    } else {
        engine.SetGlobalVar(name.c_str(), after.c_str());
    }
}

const char* SourceFilePath(CScriptEngine& engine, const char* name, std::string& found) {
    if (IsAbsolutePath(name)) return name;
    CFileSourceList& sources = engine.GetFileSources();
    for (int i = 0; i < sources.GetCount(); ++i) {
        auto* directory = dynamic_cast<CDirectorySource*>(sources.GetAt(i));
        if (directory && directory->Find(name, nullptr)) {
            found = directory->FullPath(name);
            return found.c_str();
        }
    }
    return name;
}

std::string LowerOptions(const char* options) {
    std::string lowered = options ? options : "";
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lowered;
}

}  // namespace tolv
