// The engine as the program uses it: the interpreter core with every command set opened on
// it and the run state of the layers above attached. The core leaves its default
// constructor to the layer that is linked in, so that it knows none of these tables.
#include "commands/CommandTables.h"
#include "commands/SystemCommandTables.h"
#include "engine/CoreCommands.h"
#include "engine/ScriptEngine.h"
#include "commands/EngineState.h"
#include "commands/RollbackCommands.h"
#include "platform/TextCodec.h"

CScriptEngine::CScriptEngine() : services_(std::make_unique<CEngineState>()) {
    // Texts follow the process's code page; asked again for each engine, since it is cheap.
    tolv::UseSystemTextCodec();
    // Each table registered whole. Order: core, then file and system, then registry
    // commands; a later table's row replaces an earlier row of the same name.
    RegisterCommands(kCoreCommands);
    RegisterCommands(kDataCommands);
    RegisterCommands(kRollbackCommands);
    RegisterCommands(kDialogueCommands);
    RegisterCommands(kFileCommands);
    RegisterCommands(kSystemCommands);
    RegisterCommands(kIniCommands);
    RegisterCommands(kRegistryCommands);
}
