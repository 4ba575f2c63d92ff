// Argument evaluation under a command's signature.
#include <cstring>

#include "engine/ScriptEngine.h"
#include "engine/Tokenizer.h"

namespace {
bool IsLower(char c) {
    return c >= 'a' && c <= 'z';
}
char ToLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
}  // namespace

const char* EvalArg(CScriptEngine& engine, char* text, char** next, bool* empty) {
    if (empty) *empty = true;
    if (!text) return nullptr;
    bool quoted = *SkipBlanks(text) == '"';
    char* token = NextToken(text, next);
    if (!token) return nullptr;
    if (empty && (quoted || *token != '\0')) *empty = false;
    if (quoted) return token;  // quoted text is never a reference
    if (IsVarRef(token)) return engine.GetVar(token + 1);
    return token;
}

namespace parse_args_detail {

int Parse(CScriptEngine& engine, char* text, char** restOut, const char* signature,
          const Output* outputs, int outputCount) {
    const int letters = static_cast<int>(std::strlen(signature));
    if (letters != outputCount) ThrowScriptError(ScriptError::kBadArgument);
    for (int i = 0; i < letters; ++i) {
        char letter = ToLower(signature[i]);
        Output::Kind wanted = letter == 'd'                      ? Output::kInt
                              : (letter == 's' || letter == 'v') ? Output::kText
                                                                 : outputs[i].kind;
        if (outputs[i].kind != wanted) ThrowScriptError(ScriptError::kBadArgument);
    }

    int i = 0;
    char* pos = text;
    for (; i < letters && pos && *pos; ++i) {
        const char letter = signature[i];
        void* target = outputs[i].target;
        switch (ToLower(letter)) {
            case 'd': {
                bool empty = true;
                const char* value = EvalArg(engine, pos, &pos, &empty);
                if (!empty) {
                    int number = 0;
                    if (!ParseInt(value, &number)) ThrowScriptError(ScriptError::kNotInteger);
                    *static_cast<int*>(target) = number;
                } else if (IsLower(letter)) {
                    ThrowScriptError(ScriptError::kBadArgument);
                }
                break;
            }
            case 's': {
                bool empty = true;
                const char* value = EvalArg(engine, pos, &pos, &empty);
                if (!empty) {
                    *static_cast<const char**>(target) = value;
                } else if (IsLower(letter)) {
                    ThrowScriptError(ScriptError::kBadArgument);
                }
                break;
            }
            case 'v': {
                // A variable must be named by an unquoted "$name": quoting makes it a text.
                const bool quoted = *SkipBlanks(pos) == '"';
                char* token = NextToken(pos, &pos);
                if (quoted || !IsVarRef(token)) ThrowScriptError(ScriptError::kSyntax);
                *static_cast<const char**>(target) = token + 1;
                break;
            }
            default:
                break;  // a letter without meaning consumes nothing and stores nothing
        }
    }

    if (restOut) {
        *restOut = pos;
    } else if (!AtListEnd(pos)) {
        ThrowScriptError(ScriptError::kSyntax);  // more arguments than the signature takes
    }
    for (int j = i; j < letters; ++j) {
        if (IsLower(signature[j])) ThrowScriptError(ScriptError::kBadArgument);
    }
    return i;
}

}  // namespace parse_args_detail
