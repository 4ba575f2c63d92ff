// The command tables of the file commands and the registry commands, for the engine to
// register (after its core table: file and system first, then registry).
#pragma once

#include "engine/ScriptEngine.h"

// copy, mkdir, rmdir, del.
extern const ScriptCommand kFileCommands[];
// regDel, regSZ, regDW, regGetValue, regChangeRef.
extern const ScriptCommand kRegistryCommands[];
