// What every script command takes and does, as data: the argument form and signature
// letters, and whether it changes the machine or talks to the user.
//
// The command tables say how a command runs; this catalogue says how it is called. The
// installation file checker reads it to check statements without running them, and the
// installation log reads it to decide which statements an administrator must see; the
// editor's completion, signature help and hover text are generated from it when the editor
// extension is built (pxfcheck /catalog). A test keeps it and the registered commands in
// step, so that a command cannot be added to one and forgotten in the other.
#pragma once

struct CommandInfo {
    enum Form : unsigned char {
        kArgs,             // the arguments of its signature letters, nothing more
        kVarAndStatement,  // eval: "$var," then a statement
        kStatement,        // if ("!" allowed) and @: a statement to run
        kLabel,            // goto: one label token
        kTextIgnored,      // endp, abort, end, ...: any text after the word is ignored
    };
    enum Flags : unsigned char {
        kChangesMachine = 1,  // writes files, folders or registry, or starts a program
        kTalksToUser = 2,     // shows a message or asks a question
    };
    const char* name;
    Form form;
    const char* signature;  // ParseArgs letters (kArgs and the variable of kVarAndStatement)
    unsigned char flags;
    // For authors, as the reference states them: one name per signature letter (or the
    // form's own words), what the command does, its result, the undo line it records for
    // the rollback ("" for none) and the error codes it raises itself ("" for none).
    const char* params = "";
    const char* does = "";
    const char* result = "";
    const char* undo = "";
    const char* errors = "";
};

// All commands, ended by a row whose name is nullptr.
extern const CommandInfo kCommandCatalog[];

// The row of name (any letter case), or nullptr.
const CommandInfo* FindCommandInfo(const char* name);
