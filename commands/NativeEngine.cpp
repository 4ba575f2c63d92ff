// The engine of the native build (sanitizer tests and fuzzing): the interpreter core with
// the string and integer commands, the commands that need no Windows. No services are
// attached: the file, registry and rollback commands that would use them are not here.
#include "commands/CommandTables.h"
#include "engine/CoreCommands.h"
#include "engine/ScriptEngine.h"

CScriptEngine::CScriptEngine() {
    RegisterCommands(kCoreCommands);
    RegisterCommands(kDataCommands);
}
