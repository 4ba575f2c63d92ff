// The core command table: the commands that define and assign names and steer execution
// (macro, set, lset, eval, return, endp, if, goto, abort, end), and the comparison rule
// the compare commands share.
#pragma once

#include "engine/ScriptEngine.h"

// Ended by a row with a null name; registered by every engine.
extern const ScriptCommand kCoreCommands[];

// Whether value stands in the relation op to zero: op is exactly one of "=", "<", ">",
// "<=", ">=" (anything else raises 3). Returns 1 for true, 0 for false.
int CompareResult(const char* op, int value);

// The fast forms of hot commands read kept argument tokens (see KeptArguments) with these.
// Whether the token counts as given to a required argument (anything but an empty unquoted
// one), and whether it reads as an integer without a doubt (a reference reads as one only
// when its value does).
inline bool IsGiven(const CachedToken& token) {
    return token.quoted || !token.text.empty();
}
inline bool MayBeInt(const CachedToken& token) {
    return token.varRef || token.isInt;
}
// The token's value as ParseArgs reads a text ("s") or an integer ("d") argument: a
// reference's variable (raising 1 when unknown, 5 when it is no integer), else itself.
const char* KeptText(CScriptEngine& engine, const CachedToken& token);
int KeptInt(CScriptEngine& engine, const CachedToken& token);
