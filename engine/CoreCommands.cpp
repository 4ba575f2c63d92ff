#include "engine/CoreCommands.h"

#include <cstring>
#include <string>

#include "engine/Tokenizer.h"

namespace {

// The statement text of if and eval: null or blank means none. A leading "!" inverts.
char* TakeInversion(char* statement, bool* inverted) {
    *inverted = statement[0] == '!';
    return *inverted ? statement + 1 : statement;
}

int Invert(int result, bool inverted) {
    if (!inverted) return result;
    return result == 0 ? 1 : 0;
}

int Macro(CScriptEngine& engine, char* args) {
    const char* name = nullptr;
    const char* text = nullptr;
    ParseArgs(engine, args, nullptr, "ss", &name, &text);
    engine.SetMacro(name, text);
    return 1;
}

// set and lset differ only in the table they test and write: the globals, or the frame of
// the current call. With a value they assign it; with the variable alone they only test it.
int AssignOrTest(CScriptEngine& engine, char* args, bool (CScriptEngine::*has)(const char*) const,
                 void (CScriptEngine::*assign)(const char*, const char*)) {
    // "set $name, value" from kept tokens.
    if (const CachedStatement* kept = engine.KeptArguments(args)) {
        const std::vector<CachedToken>& tokens = kept->tokens;
        if (tokens.size() == 2 && !kept->endLoops && tokens[0].varRef && IsGiven(tokens[1])) {
            (engine.*assign)(tokens[0].text.c_str() + 1, KeptText(engine, tokens[1]));
            return 1;
        }
    }
    const char* name = nullptr;
    const char* value = "";
    if (ParseArgs(engine, args, nullptr, "vS", &name, &value) < 2) {
        return (engine.*has)(name) ? 1 : 0;
    }
    (engine.*assign)(name, value);
    return 1;
}

int Set(CScriptEngine& engine, char* args) {
    return AssignOrTest(engine, args, &CScriptEngine::HasGlobalVar, &CScriptEngine::SetGlobalVar);
}

int LocalSet(CScriptEngine& engine, char* args) {
    return AssignOrTest(engine, args, &CScriptEngine::HasLocalVar, &CScriptEngine::SetLocalVar);
}

int Eval(CScriptEngine& engine, char* args) {
    const char* name = nullptr;
    char* statement = nullptr;
    ParseArgs(engine, args, &statement, "v", &name);
    if (!statement) ThrowScriptError(ScriptError::kSyntax);
    bool inverted = false;
    statement = TakeInversion(statement, &inverted);
    // The statement may call a procedure, which reuses the line buffer the name lives in.
    const std::string target(name);
    const int result = Invert(engine.ExecuteStatement(statement), inverted);
    engine.SetVarInt(target.c_str(), result);
    return result;
}

int Return(CScriptEngine& engine, char* args) {
    int value = 0;
    ParseArgs(engine, args, nullptr, "D", &value);
    engine.SetStopMode(CScriptEngine::kReturning);
    return value;
}

int EndProc(CScriptEngine& engine, char*) {
    engine.SetStopMode(CScriptEngine::kReturning);
    return 0;
}

int If(CScriptEngine& engine, char* args) {
    if (AtListEnd(args)) ThrowScriptError(ScriptError::kSyntax);
    bool inverted = false;
    char* statement = TakeInversion(args, &inverted);
    const int result = Invert(engine.ExecuteStatement(statement), inverted);
    // A false test passes over the next line of the file, whatever it holds.
    if (result == 0) engine.SetCurrentLine(engine.GetCurrentLine() + 1);
    return result;
}

int Goto(CScriptEngine& engine, char* args) {
    if (const CachedStatement* kept = engine.KeptArguments(args)) {
        if (kept->jumpLine < 0) {
            // A copy: the label search may find the line cache out of date and empty it.
            const std::string label = kept->tokens.front().text;
            const int line = engine.FindLabel(label.c_str());
            engine.SetCurrentLine(line - 1);
            if (engine.KeptArguments(args) == kept) kept->jumpLine = line;
            return 0;
        }
        engine.SetCurrentLine(kept->jumpLine - 1);
        return 0;
    }
    char* next = nullptr;
    const char* label = args ? NextToken(args, &next) : nullptr;
    if (!label) ThrowScriptError(ScriptError::kSyntax);
    // The loop's advance then runs the label line itself.
    engine.SetCurrentLine(engine.FindLabel(label) - 1);
    return 0;
}

int Abort(CScriptEngine&, char*) {
    ThrowScriptError(ScriptError::kAborted);
}

int End(CScriptEngine& engine, char*) {
    engine.SetStopMode(CScriptEngine::kEnded);
    return 1;
}

}  // namespace

const ScriptCommand kCoreCommands[] = {
    {"macro", Macro},   {"set", Set},      {"lset", LocalSet}, {"eval", Eval},
    {"return", Return}, {"endp", EndProc}, {"if", If},         {"goto", Goto},
    {"abort", Abort},   {"end", End},      {nullptr, nullptr},
};

const char* KeptText(CScriptEngine& engine, const CachedToken& token) {
    return token.varRef ? engine.GetVar(std::string_view(token.text).substr(1))
                        : token.text.c_str();
}

int KeptInt(CScriptEngine& engine, const CachedToken& token) {
    if (!token.varRef) return token.number;
    int number = 0;
    if (!engine.ReadVarInt(std::string_view(token.text).substr(1), &number)) {
        ThrowScriptError(ScriptError::kNotInteger);
    }
    return number;
}

int CompareResult(const char* op, int value) {
    const bool orEqual = op[0] != '\0' && op[1] == '=' && op[2] == '\0';
    if (op[0] != '\0' && op[1] != '\0' && !orEqual) ThrowScriptError(ScriptError::kSyntax);
    switch (op[0]) {
        case '=':
            if (!orEqual) return value == 0;
            break;
        case '<':
            return orEqual ? value <= 0 : value < 0;
        case '>':
            return orEqual ? value >= 0 : value > 0;
        default:
            break;
    }
    ThrowScriptError(ScriptError::kSyntax);
}
