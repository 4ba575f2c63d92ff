// The rollback commands of the core command table: rback_save, rback_add, rback_addproc and
// "@". They shape the run's rollback script (RollbackScript.h) through the engine's public
// operations only.
#pragma once

#include "engine/ScriptEngine.h"

// Ended by a row with a null name; registered by every engine.
extern const ScriptCommand kRollbackCommands[];
