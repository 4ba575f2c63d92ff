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

namespace {

// The parse below over the kept tokens of a line, from the first not yet cut: the same steps
// and errors in the same order, each token cut into the line buffer as NextToken cuts it.
int ParseKept(CScriptEngine& engine, char* buffer, CScriptEngine::KeptArgs& args, char** restOut,
              const char* signature, const Output* outputs, int letters) {
    const std::vector<CachedToken>& tokens = args.statement->tokens;
    const int count = static_cast<int>(tokens.size());
    int k = args.uncut;
    int i = 0;
    for (; i < letters && (k < count || args.statement->endLoops); ++i) {
        const char letter = signature[i];
        const char lower = ToLower(letter);
        if (lower != 'd' && lower != 's' && lower != 'v') continue;
        if (k == count) {
            // Blanks before a ";": no token, and the position stays.
            if (lower == 'v') ThrowScriptError(ScriptError::kSyntax);
            if (IsLower(letter)) ThrowScriptError(ScriptError::kBadArgument);
            continue;
        }
        const CachedToken& token = tokens[static_cast<size_t>(k++)];
        char* at = buffer + token.at;
        // Tokens are mostly a few characters: copied here rather than through a call.
        const char* from = token.text.c_str();
        for (char* to = at; (*to++ = *from++) != '\0';) {
        }
        // Cut from here on, also when the parse stops at an error below.
        args.uncut = k;
        args.next = k < count ? buffer + tokens[static_cast<size_t>(k)].from : nullptr;
        void* target = outputs[i].target;
        if (lower == 'v') {
            if (!token.varRef) ThrowScriptError(ScriptError::kSyntax);
            *static_cast<const char**>(target) = at + 1;
            continue;
        }
        if (!token.quoted && token.text.empty()) {
            if (IsLower(letter)) ThrowScriptError(ScriptError::kBadArgument);
            continue;
        }
        const char* value =
            token.varRef ? engine.GetVar(std::string_view(at + 1, token.text.size() - 1)) : at;
        if (lower == 's') {
            *static_cast<const char**>(target) = value;
            continue;
        }
        int number = token.number;
        if (token.varRef ? !ParseInt(value, &number) : !token.isInt) {
            ThrowScriptError(ScriptError::kNotInteger);
        }
        *static_cast<int*>(target) = number;
    }

    if (restOut) {
        const int rest = k < count ? tokens[static_cast<size_t>(k)].from : args.statement->end;
        *restOut = rest < 0 ? nullptr : buffer + rest;
    } else if (k < count) {
        ThrowScriptError(ScriptError::kSyntax);
    }
    for (int j = i; j < letters; ++j) {
        if (IsLower(signature[j])) ThrowScriptError(ScriptError::kBadArgument);
    }
    return i;
}

}  // namespace

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

    CScriptEngine::KeptArgs& kept = engine.keptArgs_;
    if (text && text == kept.next && kept.writes == engine.bufferWrites_ &&
        kept.epoch == engine.lineCache_.GetEpoch()) {
        return ParseKept(engine, engine.lineBuffer_.data(), kept, restOut, signature, outputs,
                         letters);
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
