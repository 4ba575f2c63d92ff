#include "commands/CommandCatalog.h"

#include "engine/TextCase.h"

namespace {

constexpr unsigned char kChanges = CommandInfo::kChangesMachine;
constexpr unsigned char kTalks = CommandInfo::kTalksToUser;
}  // namespace

// clang-format off
const CommandInfo kCommandCatalog[] = {
    // control flow and variables
    {"macro", CommandInfo::kArgs, "ss", 0},
    {"set", CommandInfo::kArgs, "vS", 0},
    {"lset", CommandInfo::kArgs, "vS", 0},
    {"eval", CommandInfo::kVarAndStatement, "v", 0},
    {"return", CommandInfo::kArgs, "D", 0},
    {"endp", CommandInfo::kTextIgnored, "", 0},
    {"if", CommandInfo::kStatement, "", 0},
    {"goto", CommandInfo::kLabel, "", 0},
    {"abort", CommandInfo::kTextIgnored, "", 0},
    {"end", CommandInfo::kTextIgnored, "", 0},
    // rollback script
    {"rback_save", CommandInfo::kArgs, "s", kChanges},
    {"rback_add", CommandInfo::kArgs, "s", 0},
    {"rback_addproc", CommandInfo::kArgs, "sS", 0},
    {"@", CommandInfo::kStatement, "", 0},
    // strings and integers
    {"intadd", CommandInfo::kArgs, "vD", 0},
    {"intsub", CommandInfo::kArgs, "vD", 0},
    {"intmul", CommandInfo::kArgs, "vd", 0},
    {"intdiv", CommandInfo::kArgs, "vd", 0},
    {"intmod", CommandInfo::kArgs, "vd", 0},
    {"intcmp", CommandInfo::kArgs, "dsd", 0},
    {"strcmp", CommandInfo::kArgs, "sssD", 0},
    {"stricmp", CommandInfo::kArgs, "sssD", 0},
    {"strlen", CommandInfo::kArgs, "s", 0},
    {"strpos", CommandInfo::kArgs, "ss", 0},
    {"strcat", CommandInfo::kArgs, "vs", 0},
    {"strget", CommandInfo::kArgs, "vsdD", 0},
    {"strdel", CommandInfo::kArgs, "vsdD", 0},
    // dialogue and progress
    {"prompt", CommandInfo::kArgs, "sS", kTalks},
    {"error", CommandInfo::kArgs, "sS", kTalks},
    {"progress_show", CommandInfo::kArgs, "dS", 0},
    {"progress_hide", CommandInfo::kTextIgnored, "", 0},
    {"progress_title", CommandInfo::kArgs, "s", 0},
    {"progress_step", CommandInfo::kArgs, "D", 0},
    // registry
    {"regDel", CommandInfo::kArgs, "ssS", kChanges},
    {"regSZ", CommandInfo::kArgs, "ssss", kChanges},
    {"regDW", CommandInfo::kArgs, "sssd", kChanges},
    {"regGetValue", CommandInfo::kArgs, "vssSS", 0},
    {"regChangeRef", CommandInfo::kArgs, "sdS", kChanges},
    // files
    {"copy", CommandInfo::kArgs, "ssS", kChanges | kTalks},
    {"mkdir", CommandInfo::kArgs, "sS", kChanges},
    {"rmdir", CommandInfo::kArgs, "s", kChanges},
    {"del", CommandInfo::kArgs, "sS", kChanges},
    // system queries, shortcuts and programs
    {"getInfo", CommandInfo::kArgs, "vs", 0},
    {"fileAccess", CommandInfo::kArgs, "sS", 0},
    {"freeSpace", CommandInfo::kArgs, "sD", 0},
    {"fileSize", CommandInfo::kArgs, "s", 0},
    {"getErrorString", CommandInfo::kArgs, "vd", 0},
    {"isAdmin", CommandInfo::kTextIgnored, "", 0},
    {"shortcut", CommandInfo::kArgs, "ssS", kChanges},
    {"run", CommandInfo::kArgs, "sS", kChanges},
    {nullptr, CommandInfo::kArgs, nullptr, 0},
};
// clang-format on

const CommandInfo* FindCommandInfo(const char* name) {
    const char first = static_cast<char>(name[0] | 0x20);  // letters only differ in 0x20
    for (const CommandInfo* row = kCommandCatalog; row->name; ++row) {
        if ((row->name[0] | 0x20) == first && EqualsNoCase(row->name, name)) return row;
    }
    return nullptr;
}
