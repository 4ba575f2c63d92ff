// The command tables of commands/, one per source file. Each ends with a row whose name is
// nullptr; the engine registers them in its constructor.
#pragma once

#include "engine/ScriptEngine.h"

// intadd, intsub, intmul, intdiv, intmod, intcmp, strcmp, stricmp, strlen, strpos, strcat,
// strget, strdel, strupr, strlwr, strrep, strrpos, vercmp (DataCommands.cpp).
extern const ScriptCommand kDataCommands[];
// prompt, error, progress_show, progress_hide, progress_title, progress_step, log
// (DialogueCommands.cpp).
extern const ScriptCommand kDialogueCommands[];
// iniGet, iniSet (IniCommands.cpp).
extern const ScriptCommand kIniCommands[];
