// The command tables of the file commands and the registry commands, for the engine to
// register (after its core table: file and system first, then registry).
#pragma once

#include "engine/ScriptEngine.h"

// copy, mkdir, rmdir, del.
extern const ScriptCommand kFileCommands[];
// getInfo, fileAccess, freeSpace, getErrorString, fileSize, isAdmin, shortcut, run: the
// system half of the file and system table, registered right after kFileCommands.
extern const ScriptCommand kSystemCommands[];
// regDel, regSZ, regDW, regGetValue, regChangeRef, regKeyExists, regEnumKey, regEnumValue.
extern const ScriptCommand kRegistryCommands[];
