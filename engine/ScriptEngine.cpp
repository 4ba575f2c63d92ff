// The interpreter: command registry, statements, procedure calls, line expansion and
// variable scopes. Loading lives in Loader.cpp, the core commands in CoreCommands.cpp.
#include "engine/ScriptEngine.h"
#include "engine/InstallHost.h"
#include "engine/RunObserver.h"
#include "engine/Text.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <new>

#include "engine/TextCase.h"
#include "engine/Tokenizer.h"

void ThrowScriptError(int code) {
    throw code;
}

namespace {

bool IsEscapeSecond(char c) {
    return c == '#' || c == ';' || c == '"';
}

// Whether the first word of line is "endp" (any case).
bool IsEndpLine(const char* line) {
    if (!line) return false;
    line = SkipBlanks(line);
    return std::strlen(line) >= 4 && EqualsNoCase(std::string_view(line, 4), "endp") &&
           (line[4] == '\0' || IsBlank(line[4]));
}

// Counts one level of statement nesting for the duration of a statement.
class NestingGuard {
public:
    explicit NestingGuard(int& level) : level_(level) {
        if (level_ >= CScriptEngine::kMaxStatementNesting) {
            ThrowScriptError(ScriptError::kTooDeep);
        }
        ++level_;
    }
    ~NestingGuard() { --level_; }
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;

private:
    int& level_;
};

}  // namespace

// The default constructor belongs to the layer that opens the command sets (see
// ScriptEngine.h).

CScriptEngine::~CScriptEngine() = default;

void CScriptEngine::SetHost(CInstallHost* host) {
    host_ = host;
    SetPredefinedVars();
}

void CScriptEngine::SetPredefinedVars() {
    if (globals_.FindName("LASTWINERROR") < 0) globals_.SetValue("LASTWINERROR", "0");
    globals_.SetValue("QUIET", host_ && host_->CanAnswer() ? "0" : "1");
}

CInstallHost& CScriptEngine::GetHost() const {
    if (!host_) ThrowScriptError(ScriptError::kNoHost);
    return *host_;
}

// ---------------------------------------------------------------------------------------
// Command registry

void CScriptEngine::RegisterCommands(const ScriptCommand* table, int maxRows) {
    ++commandsVersion_;  // remembered lookups may name a replaced handler or miss a new one
    try {
        for (int i = 0; i < maxRows && table[i].name; ++i) {
            std::string key(table[i].name);
            UpperCaseAscii(key);
            commands_[key] = table[i].handler;
        }
    } catch (const std::bad_alloc&) {
        ThrowScriptError(ScriptError::kNoMemory);
    }
}

ScriptCommandHandler CScriptEngine::FindCommand(const char* name) const {
    return LookUpCommand(std::string_view(name));
}

ScriptCommandHandler CScriptEngine::LookUpCommand(std::string_view word) const {
    const char* name = word.data();
    const size_t length = word.size();
    const unsigned char first = static_cast<unsigned char>(name[0]);
    const unsigned char last = length ? static_cast<unsigned char>(name[length - 1]) : 0;
    CommandMemo& memo = commandMemo_[(length * 7 + first * 31 + last) % kCommandMemoSize];
    if (memo.version == commandsVersion_ && memo.word.size() == length &&
        std::memcmp(memo.word.data(), name, length) == 0) {
        return memo.handler;
    }
    commandKey_.assign(name, length);
    UpperCaseAscii(commandKey_);
    auto it = commands_.find(commandKey_);
    const ScriptCommandHandler handler = it == commands_.end() ? nullptr : it->second;
    try {
        memo.version = 0;
        memo.word.assign(name, length);
        memo.handler = handler;
        memo.version = commandsVersion_;
    } catch (const std::bad_alloc&) {
        // Not remembered: the next lookup of the word asks the registry again.
    }
    return handler;
}

std::vector<std::string> CScriptEngine::GetCommandNames() const {
    std::vector<std::string> names;
    for (const auto& entry : commands_) names.push_back(entry.first);
    return names;
}

// ---------------------------------------------------------------------------------------
// Execution

const CItemArray& CScriptEngine::ActiveLines() const {
    return rollbackMode_ && rollbackLines_ ? *rollbackLines_ : lines_;
}

int CScriptEngine::CallStartLine(const char* name) {
    if (rollbackMode_ && rollbackLines_) {
        if (callDepth_ == 0) return rollbackBodyIndex_ - 1;
        return FindRollbackProc(name);
    }
    int start = 0, end = 0;
    GetProcRange(name, &start, &end);
    return start;
}

int CScriptEngine::FindRollbackProc(const char* name) const {
    const size_t length = std::strlen(name);
    // The procedures copied after DefaultRollback's "endp"; its own proc line comes before
    // the body and is never found.
    for (int i = rollbackBodyIndex_; i < rollbackLines_->GetCount(); ++i) {
        const char* line = rollbackLines_->GetAt(i);
        if (!line || std::strlen(line) < 5 || !EqualsNoCase(std::string_view(line, 5), "proc "))
            continue;
        const char* word = SkipBlanks(line + 5);
        if (std::strlen(word) >= length && EqualsNoCase(std::string_view(word, length), name) &&
            (word[length] == '\0' || word[length] == ' ' || word[length] == '\t')) {
            return i;
        }
    }
    ThrowNotFound("procedure ", name);
}

namespace {
// Gives a kept statement's argument tokens to its handler for the handler's run only:
// whatever runs after the handler (or after a statement inside it) reads its text as cut.
template <typename Slot>
class SetForScope {
public:
    SetForScope(Slot& slot, const Slot& value) : slot_(slot) { slot_ = value; }
    ~SetForScope() { slot_ = Slot(); }
    SetForScope(const SetForScope&) = delete;
    SetForScope& operator=(const SetForScope&) = delete;

private:
    Slot& slot_;
};
}  // namespace

void CScriptEngine::ThrowNotFound(std::string_view prefix, std::string_view name,
                                  std::string_view suffix) const {
    try {
        missingName_.assign(prefix).append(name).append(suffix);
    } catch (const std::bad_alloc&) {
        missingName_.clear();  // the error itself matters more than its detail
    }
    ThrowScriptError(ScriptError::kNotFound);
}

int CScriptEngine::ExecuteStatement(char* text) {
    NestingGuard nesting(statementNesting_);
    missingName_.clear();
    CachedStatement* kept = nullptr;
    if (text == loadedStatement_ && activeLine_ && activeLine_->own &&
        activeWrites_ == bufferWrites_ && activeEpoch_ == lineCache_.GetEpoch()) {
        // Mostly the statement RunBody has just loaded, split on an earlier run.
        loadedStatement_ = nullptr;
        kept = activeLine_->own;
    } else {
        kept = KeptStatement(text);
    }
    const char* word = nullptr;
    char* args = nullptr;
    if (kept) {
        word = kept->word.c_str();
        args = kept->args < 0 ? nullptr : lineBuffer_.data() + kept->args;
    } else {
        args = SplitWord(text, " \t", word_);
        word = word_.c_str();
    }
    if (*word == '\0') return 0;
    ScriptCommandHandler handler = nullptr;
    if (kept && kept->handlerVersion == commandsVersion_) {
        handler = kept->handler;
    } else {
        handler = LookUpCommand(word);
        if (kept) {
            kept->handler = handler;
            kept->handlerVersion = commandsVersion_;
        }
    }
    CRunObserver* observer = g_runObserver;
    if (observer) observer->StatementStarting(*this, word, args);
    int result = 0;
    {
        SetForScope scope(keptArgs_, kept ? ArgumentsOf(*kept) : KeptArgs());
        result = handler ? handler(*this, args) : CallProc(word, args);
    }
    if (observer) observer->StatementEnded(*this, result);
    return result;
}

CachedStatement* CScriptEngine::KeptStatement(const char* text) {
    // The statement RunBody loads reads as expanded; one run from inside another statement
    // only where the outer one left the line uncut.
    const bool loaded = text == loadedStatement_;
    loadedStatement_ = nullptr;
    if (!activeLine_ || activeWrites_ != bufferWrites_ || activeEpoch_ != lineCache_.GetEpoch())
        return nullptr;
    if (loaded && activeLine_->own) return activeLine_->own;
    const char* const buffer = lineBuffer_.data();
    const std::string& line = activeLine_->text;
    const auto at = reinterpret_cast<std::uintptr_t>(text);
    const auto first = reinterpret_cast<std::uintptr_t>(buffer);
    if (at < first || at > first + line.size()) return nullptr;
    const size_t offset = at - first;
    if (!loaded && std::memcmp(text, line.data() + offset, line.size() - offset + 1) != 0) {
        return nullptr;
    }
    CachedStatement* kept = activeLine_->StatementAt(static_cast<int>(offset));
    if (!kept || kept->split) return kept;
    const char* args = SplitWord(line.c_str() + offset, " \t", word_);
    try {
        kept->word = word_;
    } catch (const std::bad_alloc&) {
        return nullptr;  // not kept: the statement is split again next time
    }
    kept->args = args ? static_cast<int>(args - line.c_str()) : -1;
    kept->split = true;
    if (loaded) activeLine_->own = kept;
    return kept;
}

CScriptEngine::KeptArgs CScriptEngine::ArgumentsOf(CachedStatement& kept) {
    if (kept.tokenState == CachedStatement::kUntried) kept.Tokenize(activeLine_->text);
    KeptArgs args;
    if (kept.tokenState != CachedStatement::kTokens || kept.tokens.empty()) return args;
    args.statement = &kept;
    args.next = lineBuffer_.data() + kept.tokens.front().from;
    args.writes = activeWrites_;
    args.epoch = activeEpoch_;
    return args;
}

int CScriptEngine::CallProc(const char* name, char* args) {
    if (callDepth_ >= kMaxCallDepth) ThrowScriptError(ScriptError::kTooDeep);
    const int start = CallStartLine(name);

    std::unique_ptr<CNameValueTable>& frame = frames_[static_cast<size_t>(callDepth_)];
    if (!frame) {
        try {
            frame = std::make_unique<CNameValueTable>(20, 20);
        } catch (const std::bad_alloc&) {
            ThrowScriptError(ScriptError::kNoMemory);
        }
    }
    frame->RemoveAll();
    savedLines_[static_cast<size_t>(callDepth_)] = currentLine_;
    ++callDepth_;  // the new frame is visible from here on, also to the arguments

    try {
        // Bind the arguments one by one as $1, $2, ...; an absent one binds the empty text.
        // The frame is empty and each name new: the entries are appended without a search.
        int count = 0;
        char* pos = args;
        while (!AtListEnd(pos)) {
            const char* value = "";
            char* rest = nullptr;
            ParseArgs(*this, pos, &rest, "S", &value);
            char number[16];
            auto written = std::to_chars(number, number + sizeof number, ++count);
            frame->SetValueAt(
                -1, std::string_view(number, static_cast<size_t>(written.ptr - number)), value);
            pos = rest;
        }
        char number[16];
        auto written = std::to_chars(number, number + sizeof number, count);
        frame->SetValueAt(-1, "PARAMCNT",
                          std::string_view(number, static_cast<size_t>(written.ptr - number)));

        currentLine_ = start + 1;
        const int result = RunBody();
        --callDepth_;
        frame->RemoveAll();
        currentLine_ = savedLines_[static_cast<size_t>(callDepth_)];
        return result;
    } catch (...) {
        // The current line stays on the failing line; the frame goes.
        --callDepth_;
        frame->RemoveAll();
        throw;
    }
}

int CScriptEngine::RunBody() {
    int result = 0;
    while (stopMode_ == kRunning) {
        if (char* statement = LoadStatement()) result = ExecuteStatement(statement);
        ++currentLine_;
    }
    if (stopMode_ == kReturning) stopMode_ = kRunning;
    return result;
}

int CScriptEngine::RollbackBodyKey() const {
    return rollbackMode_ && rollbackLines_ ? rollbackBodyIndex_ : -1;
}

char* CScriptEngine::LoadStatement() {
    CachedLine* cached = lineCache_.Find(ActiveLines(), currentLine_, procs_, RollbackBodyKey());
    char* const buffer = lineBuffer_.data();
    if (cached && cached->state == CachedLine::kPlain) {
        // Copied, not pointed to: handlers cut their argument text in place.
        std::memcpy(buffer, cached->text.c_str(), cached->text.size() + 1);
        activeLine_ = cached;
        activeWrites_ = ++bufferWrites_;
        activeEpoch_ = lineCache_.GetEpoch();
        char* statement = cached->text.empty() ? nullptr : buffer + cached->statement;
        loadedStatement_ = statement;
        return statement;
    }
    return ExpandStatement(cached);
}

char* CScriptEngine::ExpandStatement(CachedLine* cached) {
    char* const buffer = lineBuffer_.data();
    char* text = ExpandLine();
    char* statement = *text == '\0' ? nullptr : ParseLabel(text);
    if (cached && lastExpansionPlain_) {
        try {
            cached->text.assign(text);
            cached->statement = statement ? static_cast<int>(statement - buffer) : 0;
            cached->state = CachedLine::kPlain;
            activeLine_ = cached;
            activeWrites_ = bufferWrites_;
            activeEpoch_ = lineCache_.GetEpoch();
            loadedStatement_ = statement;
        } catch (const std::bad_alloc&) {
            // Not kept: the line is expanded again next time.
        }
    }
    return statement;
}

char* CScriptEngine::ExpandLine() {
    lastExpansionPlain_ = false;
    activeLine_ = nullptr;
    loadedStatement_ = nullptr;
    ++bufferWrites_;
    const CItemArray& lines = ActiveLines();
    if (currentLine_ < 0 || currentLine_ >= lines.GetCount()) {
        ThrowScriptError(ScriptError::kPastLastLine);
    }
    const char* line = lines.GetAt(currentLine_);
    line = SkipBlanks(line ? line : "");
    if (std::strlen(line) >= workBuffer_.size()) ThrowScriptError(ScriptError::kTooLong);

    // The first pass reads the stored line itself; later passes read the previous output.
    for (int pass = 1;; ++pass) {
        if (!ExpandPass(line)) {
            lastExpansionPlain_ = pass == 1;
            return lineBuffer_.data();
        }
        // Substituted text is scanned again, so it can itself hold "#...#", ";" or quotes.
        if (pass == kMaxExpansionPasses) ThrowScriptError(ScriptError::kTooDeep);
        std::memcpy(workBuffer_.data(), lineBuffer_.data(), std::strlen(lineBuffer_.data()) + 1);
        line = workBuffer_.data();
    }
}

namespace {
// The characters of an expanding line, counted only once its bytes reach the limit (until
// then, bytes bound characters) and then only for the bytes not counted before.
class ExpandedChars {
public:
    size_t Count(const char* out, size_t bytes) {
        chars_ += CharCount(std::string_view(out + counted_, bytes - counted_));
        counted_ = bytes;
        return chars_;
    }

private:
    size_t counted_ = 0;
    size_t chars_ = 0;
};
}  // namespace

bool CScriptEngine::ExpandPass(const char* in) {
    // The expanded line stays below 4095 characters, so it always fits the line buffer.
    constexpr size_t kMaxExpanded = kMaxLineLength - 1;
    constexpr size_t kMaxExpandedBytes = kMaxExpanded * kMaxCharBytes;
    char* out = lineBuffer_.data();
    size_t n = 0;
    ExpandedChars chars;
    bool substituted = false;
    while (*in != '\0' && *in != ';') {
        if (*in != '#') {
            if (n >= kMaxExpanded) {
                // A byte that continues a character adds no character.
                const bool startsChar = !ContinuesChar(static_cast<unsigned char>(*in));
                if (n >= kMaxExpandedBytes || (startsChar && chars.Count(out, n) >= kMaxExpanded)) {
                    ThrowScriptError(ScriptError::kTooLong);
                }
            }
            out[n++] = *in++;
            continue;
        }
        if (IsEscapeSecond(in[1])) {
            // Escapes stay as written; the tokenizer resolves them.
            if (n + 2 > kMaxExpanded &&
                (n + 2 > kMaxExpandedBytes || chars.Count(out, n) + 2 > kMaxExpanded)) {
                ThrowScriptError(ScriptError::kTooLong);
            }
            out[n++] = in[0];
            out[n++] = in[1];
            in += 2;
            continue;
        }
        const char* close = std::strchr(in + 1, '#');
        if (!close || LongerThan(std::string_view(in + 1, close - (in + 1)), kMaxNameLength)) {
            ThrowScriptError(ScriptError::kSyntax);
        }
        substName_.assign(in + 1, close);
        const char* value = LookUpSubstitution(substName_.c_str());
        size_t length = std::strlen(value);
        if (n + length > kMaxExpanded &&
            (n + length > kMaxExpandedBytes ||
             chars.Count(out, n) + CharCount(std::string_view(value, length)) > kMaxExpanded)) {
            ThrowScriptError(ScriptError::kTooLong);
        }
        std::memcpy(out + n, value, length);
        n += length;
        substituted = true;
        in = close + 1;
    }
    out[n] = '\0';
    return substituted;
}

const char* CScriptEngine::LookUpSubstitution(const char* text) {
    if (IsVarRef(text)) return GetVar(text + 1);
    int code = 0;
    if (ParseInt(text, &code) && code >= 1 && code <= 255) {
        const char byte = static_cast<char>(code);
        // Codes above 127 name the legacy code page's character, as they always have; in
        // UTF-8 that character takes two or three bytes.
        if (code < 0x80 || !GetTextCodec().utf8) {
            charText_.assign(1, byte);
        } else {
            charText_ =
                ConvertFileText(std::string_view(&byte, 1), FileTextConversion::kFromLegacy);
        }
        return charText_.c_str();
    }
    const char* value = macros_.FindValue(text);
    if (!value) ThrowNotFound("#", text, "#");
    return value;
}

void CScriptEngine::RunningProcRange(int* start, int* end) {
    if (!(rollbackMode_ && rollbackLines_)) {
        FindProcByLine(currentLine_, nullptr, start, end);
        return;
    }
    // The rollback runs its own lines, not the installation file's: the procedure being run
    // is the undo body, up to its "endp" line (or the end of the lines).
    *start = rollbackBodyIndex_ - 1;
    *end = rollbackLines_->GetCount();
    for (int i = rollbackBodyIndex_; i < *end; ++i) {
        if (IsEndpLine(rollbackLines_->GetAt(i))) *end = i;
    }
}

int CScriptEngine::FindLabel(const char* label) {
    const CItemArray& lines = ActiveLines();
    CachedLine* here = lineCache_.Find(lines, currentLine_, procs_, RollbackBodyKey());
    int start = 0, end = 0;
    if (here && here->procKnown) {
        start = here->procStart;
        end = here->procEnd;
    } else {
        RunningProcRange(&start, &end);
        if (here) {
            here->procStart = start;
            here->procEnd = end;
            here->procKnown = true;
        }
    }
    const size_t length = std::strlen(label);
    // A jump line mostly names the same label every time: compared as written, that needs
    // neither a key nor a hash.
    if (here && here->labelLine >= 0 && here->label.size() == length &&
        std::memcmp(here->label.data(), label, length) == 0) {
        return here->labelLine;
    }
    int found = lineCache_.FindLabel(start, std::string_view(label, length));
    if (found < 0) found = SearchLabel(lines, start, end, label, length);
    if (here) {
        try {
            here->label.assign(label, length);
            here->labelLine = found;
        } catch (const std::bad_alloc&) {
            here->labelLine = -1;
        }
    }
    return found;
}

int CScriptEngine::SearchLabel(const CItemArray& lines, int start, int end, const char* label,
                               size_t length) {
    // Lines as written: only a label in the first column can be a jump target.
    for (int i = start + 1; i < end; ++i) {
        const char* line = lines.GetAt(i);
        if (!line) continue;
        int labelLength = LabelLength(line);
        if (labelLength > 0 && static_cast<size_t>(labelLength) == length &&
            EqualsNoCase(std::string_view(line, length), label)) {
            lineCache_.AddLabel(start, std::string_view(label, length), i);
            return i;
        }
    }
    ThrowNotFound("label ", std::string_view(label, length));
}

// ---------------------------------------------------------------------------------------
// Variables

CScriptEngine::VarMemo& CScriptEngine::LocateVar(std::string_view name) const {
    const CNameValueTable* frame = CurrentFrame();
    const size_t length = name.size();
    VarMemo& memo = varMemo_[HashAsWritten(name) % kVarMemoSize];
    if (memo.globalShape == globals_.GetShape() && memo.frame == frame &&
        (!frame || memo.frameShape == frame->GetShape()) && memo.name.size() == length) {
        // Names are mostly a few characters: compared here rather than through a call.
        const char* kept = memo.name.data();
        size_t i = 0;
        while (i < length && kept[i] == name[i]) ++i;
        if (i == length) return memo;
    }
    return FillVarMemo(memo, name);
}

CScriptEngine::VarMemo& CScriptEngine::FillVarMemo(VarMemo& memo, std::string_view name) const {
    const CNameValueTable* frame = CurrentFrame();
    const int frameIndex = frame ? frame->FindName(name) : -1;
    const int globalIndex = globals_.FindName(name);
    memo.globalShape = 0;
    try {
        memo.name.assign(name.data(), name.size());
    } catch (const std::bad_alloc&) {
        memo.name.clear();  // an empty name is never looked up: the slot stays unused
    }
    memo.frame = frame;
    memo.frameShape = frame ? frame->GetShape() : 0;
    memo.frameIndex = frameIndex;
    memo.globalIndex = globalIndex;
    memo.numberGlobalVersion = 0;
    memo.globalShape = globals_.GetShape();
    return memo;
}

const char* CScriptEngine::GetVar(const char* name) const {
    return GetVar(std::string_view(name));
}

const char* CScriptEngine::GetVar(std::string_view text) const {
    const VarMemo& found = LocateVar(text);
    if (found.frameIndex >= 0) return found.frame->ValueAfter(found.frameIndex, text.size());
    if (found.globalIndex < 0) ThrowNotFound("$", text);
    return globals_.ValueAfter(found.globalIndex, text.size());
}

void CScriptEngine::SetVar(const char* name, const char* value) {
    StoreVar(name, value, nullptr);
}

void CScriptEngine::StoreVar(const char* name, const char* value, const int* number) {
    if (!value) value = "";
    const std::string_view text(name);
    VarMemo& found = LocateVar(text);
    if (found.frameIndex >= 0) {
        // Copies first: name or value may live in the entry the frame is about to replace.
        nameCopy_.assign(name);
        valueCopy_.assign(value);
        const int globalIndex = found.globalIndex;
        CurrentFrame()->SetValueAt(found.frameIndex, nameCopy_, valueCopy_);
        globals_.SetValueAt(globalIndex, nameCopy_, valueCopy_);
    } else {
        globals_.SetValueAt(found.globalIndex, text, value);
    }
    // A write that adds an entry changes a table's shape: the slot is filled anew at the
    // next lookup, and the number goes with it.
    found.numberGlobalVersion = number ? globals_.GetVersion() : 0;
    found.numberFrameVersion = found.frame ? found.frame->GetVersion() : 0;
    found.number = number ? *number : 0;
}

int CScriptEngine::GetVarInt(const char* name) const {
    const std::string_view text(name);
    const VarMemo& found = LocateVar(text);
    if (HasNumber(found)) return found.number;
    return LeadingInt(GetVar(text));
}

bool CScriptEngine::ReadVarInt(std::string_view name, int* number) const {
    const VarMemo& found = LocateVar(name);
    if (HasNumber(found)) {
        *number = found.number;
        return true;
    }
    return ParseInt(GetVar(name), number);
}

void CScriptEngine::SetVarInt(const char* name, int value) {
    char text[16];
    auto written = std::to_chars(text, text + sizeof text - 1, value);
    *written.ptr = '\0';
    StoreVar(name, text, &value);
}

bool CScriptEngine::HasGlobalVar(const char* name) const {
    return globals_.FindName(name) >= 0;
}

void CScriptEngine::SetGlobalVar(const char* name, const char* value) {
    globals_.SetValue(name, value ? value : "");
}

bool CScriptEngine::HasLocalVar(const char* name) const {
    const CNameValueTable* frame = CurrentFrame();
    return (frame ? *frame : globals_).FindName(name) >= 0;
}

void CScriptEngine::SetLocalVar(const char* name, const char* value) {
    CNameValueTable* frame = CurrentFrame();
    (frame ? *frame : globals_).SetValue(name, value ? value : "");
}

void CScriptEngine::SetMacro(const char* name, const char* value) {
    macros_.SetValue(name, value ? value : "");
}
