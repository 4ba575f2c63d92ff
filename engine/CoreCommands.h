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
