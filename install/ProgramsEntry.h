// Each installed device's entry in the system's list of installed programs (Add/Remove
// Programs, and the inventory of fleet tools that reads it): name, version, publisher, and
// the commands that uninstall it, with and without a window.
#pragma once

#include <string>

class CScriptEngine;

// Writes the entry of device, read from its record, inside the engine's journal, so that
// a rollback, or the recovery of a killed run, takes it away with the rest of the run.
// A failure is logged and does not fail the installation: the device works without it.
void WriteProgramsEntry(CScriptEngine& engine, const std::string& device);
// Deletes the entry of device, if there is one.
void RemoveProgramsEntry(const std::string& device);
// The entry's key under HKEY_LOCAL_MACHINE.
std::string ProgramsEntryKey(const std::string& device);
