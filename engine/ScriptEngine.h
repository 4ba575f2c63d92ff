// CScriptEngine: loader and interpreter of installation files.
//
// One engine serves one installation or removal run. The caller attaches a host, loads the
// file and calls procedures by name; the engine runs a procedure line by line (expand,
// strip the label, dispatch the first word to a registered command or call the procedure of
// that name). Every failure is a bare int thrown with ThrowScriptError; it unwinds through
// all active calls, each of which drops its frame on the way, and leaves the current line
// on the failing line.
//
// Command handlers see only the public operations below: ParseArgs for their arguments,
// GetVar/SetVar/GetVarInt/SetVarInt for variables, GetHost for the user, and the few state
// operations the control-flow commands need.
//
// This folder is the interpreter core: it knows no command table but its own and nothing
// of Win32. The command sets are opened on an engine from outside, the way an embeddable
// language opens its libraries on its interpreter: the default constructor is defined by
// the layer the program links (commands/EngineTables.cpp for the program, registering
// core, file and system, then registry tables; commands/NativeEngine.cpp for the native
// build). The journal, rollback script and file source operations at the end of the class
// are likewise defined above the core, on the per-engine services that layer attaches.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/ItemArray.h"
#include "engine/LineCache.h"
#include "engine/ScriptError.h"

class CComSession;
class CFileSourceList;
class CInstallHost;
class CRollbackJournal;
class CRollbackScript;
class CScriptEngine;
namespace parse_args_detail {
struct Output;
int Parse(CScriptEngine& engine, char* text, char** restOut, const char* signature,
          const Output* outputs, int outputCount);
}  // namespace parse_args_detail

// What the layers above the core keep per engine (rollback journal and script, file
// sources, system state such as COM): owned by the engine so that it lives and dies with
// it, and opaque to the core.
class CEngineServices {
public:
    virtual ~CEngineServices() = default;
};

// A command handler: the engine and the statement's argument text (after the command word,
// leading blanks skipped; nullptr when nothing follows). The text lives in the engine's line
// buffer and may be cut in place. Returns the statement's result.
using ScriptCommandHandler = int (*)(CScriptEngine& engine, char* args);

// One row of a command table. Tables end with a row whose name is nullptr.
struct ScriptCommand {
    const char* name;
    ScriptCommandHandler handler;
};

class CScriptEngine {
public:
    static constexpr int kMaxCallDepth = 100;
    static constexpr int kMaxExpansionPasses = 10;
    static constexpr int kLineBufferSize = kMaxLineLength * kMaxCharBytes + 1;
    // Statements running inside one another (if, eval, procedure calls). Bounds the native
    // stack that one line like "if if if ... X" can take at each of the 100 call levels.
    static constexpr int kMaxStatementNesting = 4096;
    static constexpr int kRegisterAllRows = 10000;

    enum StopMode : int { kRunning = 0, kEnded = 1, kReturning = 2 };

    // Registers the command tables of the layer linked in (see the head of this file).
    CScriptEngine();
    virtual ~CScriptEngine();
    CScriptEngine(const CScriptEngine&) = delete;
    CScriptEngine& operator=(const CScriptEngine&) = delete;

    // ---- host
    // Attaches the host of this run (not owned; nullptr detaches) and sets $quiet by it.
    void SetHost(CInstallHost* host);
    // The attached host; raises 13 when there is none.
    CInstallHost& GetHost() const;

    // ---- loading (Loader.cpp)
    // Reads an installation file into the line table and builds the procedure table.
    // Empties lines, macros and globals first, then sets the predefined variables
    // ($lastWinError 0, $quiet by the host); keeps commands. Raises 11 (unreadable, too
    // short, over 4 MiB, path over 259 characters), 12 (no header), and BuildProcTable's
    // codes.
    void Load(const char* path);
    // Load for a file already in memory (size bytes at data): the same rules and codes,
    // with path taken as the file's name but not opened.
    void LoadBytes(const char* data, size_t size, const char* path);
    // Rebuilds the procedure table from the line table. Raises 3, 4 or 9 with the current
    // line on the offending line; procedures recorded before it stay.
    void BuildProcTable();
    // Sets *start and *end to the "proc" and "endp" line of the named procedure (any case);
    // raises 1 when there is none.
    void GetProcRange(const char* name, int* start, int* end);
    // The first procedure whose range holds line (both ends included): its upper-case name
    // and range. Raises 1 when none does.
    void FindProcByLine(int line, std::string* nameOut, int* start, int* end);
    const std::string& GetScriptPath() const { return scriptPath_; }
    const CItemArray& GetLines() const { return lines_; }
    const CNameValueTable& GetProcTable() const { return procs_; }

    // ---- commands
    // Enters each row up to the terminating row or maxRows; a name already registered gets
    // the new handler.
    void RegisterCommands(const ScriptCommand* table, int maxRows = kRegisterAllRows);
    // The handler registered under name (any case), or nullptr.
    ScriptCommandHandler FindCommand(const char* name) const;
    // The names of all registered commands (stored case), in no particular order.
    std::vector<std::string> GetCommandNames() const;

    // ---- execution
    // Runs one statement: a registered command, else a call of the procedure of that name.
    // An empty statement has result 0. text is cut in place.
    virtual int ExecuteStatement(char* text);
    // Calls the named procedure with an argument list (cut in place; nullptr for none) and
    // returns its result. name need only stay valid until the body starts to run.
    virtual int CallProc(const char* name, char* args = nullptr);
    // Runs lines from the current line on until the stop mode is set; returns the result of
    // the last statement run (0 if none).
    int RunBody();
    // Expands the current line (comment, "#...#" substitution, re-scanned up to 10 passes)
    // into the line buffer and returns it. Raises 7 past the last line, 3 for an unclosed
    // "#", 1 for an unknown name, 6 for a tenth changing pass, 9 at 4095 characters.
    char* ExpandLine();
    // The line index of the first-column label in the current procedure (any case). In
    // rollback mode the procedure is the undo body of the rollback lines being run.
    // Raises 1 when the current line is in no procedure or the label is not there.
    int FindLabel(const char* label);

    // The kept statement of a line without substitution whose handler is running, when args
    // is its whole argument text and nothing of it has been parsed: a handler may read the
    // argument tokens kept there instead of parsing args (and then leaves args alone). It
    // takes them only in the forms it is sure of and parses the text otherwise, so that every
    // error still comes from the parse. nullptr when there are no such tokens.
    const CachedStatement* KeptArguments(const char* args) const {
        const KeptArgs& kept = keptArgs_;
        return args && args == kept.next && kept.uncut == 0 && kept.writes == bufferWrites_ &&
                       kept.epoch == lineCache_.GetEpoch()
                   ? kept.statement
                   : nullptr;
    }

    // ---- variables
    // The variable's value: the current frame's if it has the name, else the global's.
    // Raises 1 when neither has it. Valid until that variable is set again.
    const char* GetVar(const char* name) const;
    const char* GetVar(std::string_view name) const;
    // Sets the name in the current frame if it is there, and in every case the global.
    void SetVar(const char* name, const char* value);
    // GetVar read as its leading decimal number (empty or no digits: 0).
    int GetVarInt(const char* name) const;
    // GetVar read whole as an integer (ParseInt) into *number; false when it reads as none.
    bool ReadVarInt(std::string_view name, int* number) const;
    void SetVarInt(const char* name, int value);
    bool HasGlobalVar(const char* name) const;
    // Writes only the global table (creating or replacing), never a local.
    void SetGlobalVar(const char* name, const char* value);
    // Whether the current frame has the name. Outside any call the globals are the frame.
    bool HasLocalVar(const char* name) const;
    // Writes only the current frame (outside any call: the globals).
    void SetLocalVar(const char* name, const char* value);
    void SetMacro(const char* name, const char* value);
    // The macro's text; raises 1 when there is none.
    const char* GetMacro(const char* name) const { return macros_.GetValue(name); }

    // A text a command builds its result in, emptied, and stores before anything else runs:
    // one per engine, so that building a result does not allocate each time.
    std::string& ResultScratch() {
        resultScratch_.clear();
        return resultScratch_;
    }

    // ---- run state
    // What the last error 1 did not find, as a script writes it ("$name", "#macro#",
    // "procedure name", "label name"); empty when the statement that raised it named
    // nothing it looked up.
    const std::string& GetMissingName() const { return missingName_; }
    int GetCurrentLine() const { return currentLine_; }
    void SetCurrentLine(int line) { currentLine_ = line; }
    int GetCallDepth() const { return callDepth_; }
    int GetStopMode() const { return stopMode_; }
    void SetStopMode(int mode) { stopMode_ = mode; }

    // ---- rollback seams
    // In rollback mode the outermost procedure call, whatever its name, runs the body of the
    // rollback lines (from bodyIndex on), and ExpandLine reads those lines. A call from
    // inside it runs a procedure of the rollback lines by name (one copied there with
    // rback_addproc), or fails with 1: the undo lines never run a second time.
    bool IsRollbackMode() const { return rollbackMode_; }
    void SetRollbackMode(bool on) { rollbackMode_ = on; }
    // The lines run in rollback mode and the index of their first body line (the line after
    // the "proc" line). Not owned.
    void SetRollbackLines(const CItemArray* lines, int bodyIndex) {
        rollbackLines_ = lines;
        rollbackBodyIndex_ = bodyIndex;
    }

    // ---- services of the layers above: nullptr when none are attached
    CEngineServices* GetServices() const { return services_.get(); }
    // Takes ownership; replaces (and destroys) the services attached before.
    void SetServices(std::unique_ptr<CEngineServices> services) { services_ = std::move(services); }

    // ---- file sources (commands/FileSource.cpp)
    // Puts a source for the directory of the loaded installation file at the front of the
    // file source list; once per engine, later calls do nothing. Raises 2 without memory.
    void AddScriptDirSource();
    // Where copy and fileSize find the files to install.
    CFileSourceList& GetFileSources();

    // ---- rollback (commands/EngineRollback.cpp)
    // Begins the rollback script and opens the journal: from here on commands back up what
    // they change and record undo lines.
    void StartJournal();
    // The run succeeded: the host's EndRun, the rollback script's lines freed, the backups
    // thrown away.
    void CommitJournal();
    // The run failed: runs the recorded DefaultRollback procedure in rollback mode (undo
    // lines newest first, no error procedure, no backups, nothing recorded), then replays
    // the journal, between EndRun calls of the host. Without StartJournal, or once a
    // rollback has run, only EndRun. An error of the undo lines ends them, but the journal
    // is replayed all the same; then rollback mode goes off and the error travels on.
    void RollBack();
    // The run started on earlier goes on in this engine, in place of StartJournal: its
    // journal and rollback script become this engine's, so that CommitJournal or RollBack
    // here settles both runs as one, and a killed process leaves one journal. earlier keeps
    // neither; its loaded file and variables stay its own.
    void ContinueRun(CScriptEngine& earlier);
    // Records text as the newest undo line, while the rollback script is recording.
    void AddUndoLine(const char* text);
    // The backups of this run: BackupFile and BackupRegistryKey before every change.
    CRollbackJournal& GetJournal();
    CRollbackScript& GetRollbackScript();
    // The error report of the file and system commands, for a known Windows error code
    // (commands call ReportWinError(engine, text) of commands/ReportWinError.h, which takes
    // the thread's last error): lastWinError := winError, then the procedure named by
    // onErrorProc, if any, is called with the arguments "winError, text". Returns 0.
    int ReportWinError(int winError, const char* text);

    // ---- COM (commands/ComSession.cpp)
    // This engine's use of COM, which the shortcut command initialises with its first link;
    // the engine's destruction releases it (DoneCom). Raises 2 without memory.
    CComSession& GetComSession();

private:
    // Raises 1, noting what was not found for GetMissingName: prefix, name and suffix.
    [[noreturn]] void ThrowNotFound(std::string_view prefix, std::string_view name,
                                    std::string_view suffix = {}) const;
    // The line of "proc name" among the rollback lines' copied procedures; raises 1.
    int FindRollbackProc(const char* name) const;
    // The list the interpreter reads: the file's lines, or the rollback lines.
    const CItemArray& ActiveLines() const;
    // The line before the first body line of the procedure a call of name runs.
    int CallStartLine(const char* name);
    CNameValueTable* CurrentFrame() const {
        return callDepth_ > 0 ? frames_[static_cast<size_t>(callDepth_ - 1)].get() : nullptr;
    }
    // The variables every run starts with: $lastWinError 0, so that a script may read it
    // before anything failed, and $quiet, 1 when no one can answer the host's questions.
    void SetPredefinedVars();
    // Load's first and last steps: empty the tables and take the path (raises 11 for one
    // over 259 characters); then check the line count and build the procedure table.
    void BeginLoad(const char* path);
    void EndLoad(int lineCount);
    // The "proc" and "endp" line of the procedure being run, for label lookup.
    void RunningProcRange(int* start, int* end);
    // Puts the current line's statement (after its label) into the line buffer: kept text
    // for a line without substitution, else ExpandLine. nullptr for an empty line.
    char* LoadStatement();
    // LoadStatement for a line not kept as expanded (cached: its entry, if any): expands it,
    // and keeps it when it has no substitution.
    char* ExpandStatement(CachedLine* cached);
    // What the running procedure's range depends on in rollback mode (-1 outside it).
    int RollbackBodyKey() const;
    // The kept statement for text, when text lies in the kept line now in the line buffer
    // and reads there as the line was expanded; its word and args split once. nullptr for
    // any other text.
    CachedStatement* KeptStatement(const char* text);

public:
    // The kept statement whose handler is running, while its argument tokens may be read:
    // set for the handler only, and valid under the same count and epoch. A parse of the
    // text at next reads the tokens from uncut on; those before it are cut already.
    struct KeptArgs {
        const CachedStatement* statement = nullptr;
        const char* next = nullptr;
        unsigned long long writes = 0;
        unsigned epoch = 0;
        int uncut = 0;
    };

private:
    // What a parse may read of kept's tokens (cut once here when not yet tried) while its
    // handler runs; kept is the statement of the kept line in the line buffer.
    KeptArgs ArgumentsOf(CachedStatement& kept);
    friend int parse_args_detail::Parse(CScriptEngine&, char*, char**, const char*,
                                        const parse_args_detail::Output*, int);
    // FindCommand for a word of known length, remembered in commandMemo_.
    ScriptCommandHandler LookUpCommand(std::string_view word) const;
    // The first-column label of the lines between start and end (both excluded), kept for
    // the procedure at start; raises 1 when there is none.
    int SearchLabel(const CItemArray& lines, int start, int end, const char* label, size_t length);
    // Expands in into lineBuffer_ once; returns whether anything was substituted.
    bool ExpandPass(const char* in);
    const char* LookUpSubstitution(const char* text);

    CInstallHost* host_ = nullptr;
    bool rollbackMode_ = false;
    const CItemArray* rollbackLines_ = nullptr;
    int rollbackBodyIndex_ = 0;

    int callDepth_ = 0;
    int currentLine_ = 0;
    int stopMode_ = kRunning;
    int statementNesting_ = 0;
    std::array<int, kMaxCallDepth> savedLines_{};
    // Frame of depth d at index d-1; kept after the call and reused, emptied, by the next.
    std::array<std::unique_ptr<CNameValueTable>, kMaxCallDepth> frames_;

    std::string scriptPath_;
    std::array<char, kLineBufferSize> lineBuffer_{};
    std::array<char, kLineBufferSize> workBuffer_{};
    std::string charText_;  // the text of a "#n#" character substitution

    CItemArray lines_{500, 100};
    CNameValueTable procs_{20, 10};
    CNameValueTable globals_{50, 10};
    CNameValueTable macros_{50, 10};
    std::unordered_map<std::string, ScriptCommandHandler> commands_;
    // Changes with every RegisterCommands, so that remembered lookups are not used after.
    unsigned commandsVersion_ = 1;
    // Recent command lookups by the word exactly as written, so that a word seen before
    // needs neither an upper-cased copy nor the hash of the registry.
    struct CommandMemo {
        std::string word;
        ScriptCommandHandler handler = nullptr;
        unsigned version = 0;
    };
    static constexpr size_t kCommandMemoSize = 64;
    mutable std::array<CommandMemo, kCommandMemoSize> commandMemo_;

    CLineCache lineCache_;
    bool lastExpansionPlain_ = false;  // the last ExpandLine substituted nothing
    // Every write of a line into the line buffer counts here. The kept line in the buffer is
    // activeLine_ while the count and the cache's epoch are those it was put there under.
    unsigned long long bufferWrites_ = 0;
    CachedLine* activeLine_ = nullptr;
    unsigned long long activeWrites_ = 0;
    unsigned activeEpoch_ = 0;
    // The statement of activeLine_ that LoadStatement just gave out, until it runs.
    const char* loadedStatement_ = nullptr;
    KeptArgs keptArgs_;

    // Where recent variable names (exactly as written) were found: the entry in the current
    // frame and in the globals (-1: none), kept while neither table changes shape.
    struct VarMemo {
        std::string name;
        const CNameValueTable* frame = nullptr;
        unsigned long long frameShape = 0;
        unsigned long long globalShape = 0;  // 0: the slot holds nothing
        int frameIndex = -1;
        int globalIndex = -1;
        // The value as a number, when SetVarInt wrote it and neither table changed since:
        // kept under the versions of both tables after that write (0: not kept).
        unsigned long long numberFrameVersion = 0;
        unsigned long long numberGlobalVersion = 0;
        int number = 0;
    };
    static constexpr size_t kVarMemoSize = 32;
    mutable std::array<VarMemo, kVarMemoSize> varMemo_;
    // The entries of name in the current frame and the globals, as FindName gives them.
    VarMemo& LocateVar(std::string_view name) const;
    // LocateVar for a name its slot does not hold: finds the entries and keeps them there.
    VarMemo& FillVarMemo(VarMemo& memo, std::string_view name) const;
    // Whether found's number is the value GetVar gives now.
    bool HasNumber(const VarMemo& found) const {
        return found.numberGlobalVersion == globals_.GetVersion() &&
               found.numberFrameVersion == (found.frame ? found.frame->GetVersion() : 0);
    }
    // SetVar, remembering number as the value written when it is given.
    void StoreVar(const char* name, const char* value, const int* number);

    // The ranges of recently called procedures by name as written, under the procedure
    // table's version (0: the slot holds nothing).
    struct ProcMemo {
        std::string name;
        unsigned long long version = 0;
        int start = 0;
        int end = 0;
    };
    static constexpr size_t kProcMemoSize = 16;
    std::array<ProcMemo, kProcMemoSize> procMemo_;

    // Scratch texts reused by every statement, so that running a line does not allocate.
    mutable std::string commandKey_;
    std::string word_;
    std::string nameCopy_;
    std::string valueCopy_;
    std::string substName_;
    std::string resultScratch_;
    mutable std::string missingName_;

    // Declared last, so destroyed first, while the tables it may refer to still stand.
    std::unique_ptr<CEngineServices> services_;
};

// ---- argument parsing

// Takes one token from text and evaluates it: a quoted token as written, an unquoted
// "$name" as GetVar(name) (raises 1 when unknown), any other unquoted token as itself.
// *empty (when given) tells whether the argument counts as absent: no token, or an empty
// unquoted one. Returns nullptr when the list is at its end.
const char* EvalArg(CScriptEngine& engine, char* text, char** next, bool* empty);

namespace parse_args_detail {
struct Output {
    enum Kind : unsigned char { kNone, kText, kInt } kind;
    void* target;
};
inline Output Wrap(const char** text) {
    return {Output::kText, text};
}
inline Output Wrap(int* number) {
    return {Output::kInt, number};
}
int Parse(CScriptEngine& engine, char* text, char** restOut, const char* signature,
          const Output* outputs, int outputCount);
}  // namespace parse_args_detail

// Parses a statement's argument text under a signature, one output per letter:
//   s / S   const char**  evaluated token (EvalArg); lower case required, upper optional
//   d / D   int*          evaluated token read with ParseInt (raises 5 if no integer)
//   v       const char**  an unquoted "$name" token, not evaluated; receives name
// An absent argument leaves its output unwritten, so optional outputs are preset to their
// defaults. Returns the number of letters reached. With restOut the text after the last
// consumed argument is stored there (nullptr when none) and extra text is no error;
// without it extra text raises 3. A required argument absent or empty raises 8.
// Text outputs point into the line buffer or variable storage: copy them before anything
// that runs another line (CallProc, ExecuteStatement).
//
// text is the argument text a handler received, or a rest a parse gave back, as it stands:
// a handler never changes that text itself before parsing it. For a line without
// substitution the engine keeps its tokens and gives them here without scanning the text
// again (cutting them into the line buffer all the same, as the scan does).
//
// Output types are checked against the letters when the call is made: a count or type
// mismatch is a fault in the handler and raises 8 rather than write through the wrong
// pointer.
//
//   const char* name;
//   const char* value = nullptr;
//   int n = ParseArgs(engine, args, nullptr, "vS", &name, &value);
template <typename... Outputs>
int ParseArgs(CScriptEngine& engine, char* text, char** restOut, const char* signature,
              Outputs... outputs) {
    const parse_args_detail::Output list[sizeof...(Outputs) + 1] = {
        parse_args_detail::Wrap(outputs)..., {parse_args_detail::Output::kNone, nullptr}};
    return parse_args_detail::Parse(engine, text, restOut, signature, list,
                                    static_cast<int>(sizeof...(Outputs)));
}
