// Integer and text commands: arithmetic on a variable, the three comparisons and the text
// operations. Every script value is text, so integers are read from a variable's text and
// written back as signed decimal.
//
// Integers are 32-bit two's complement: sums, differences and products wrap rather than
// overflow, and so does the one quotient without a representable value (the smallest
// integer divided by -1). Text results are at most kMaxTextLength characters; a result that
// would be longer is refused with kTooLong before anything is stored.
//
// Lengths and positions count characters, not bytes (see engine/Text.h): a Cyrillic or
// Greek letter is one character. strcmp compares code points; stricmp compares them after
// lowering case as the user's language does.
#include "commands/CommandTables.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/CoreCommands.h"
#include "engine/Text.h"

namespace {

// Positions, lengths and counts of strget and strdel lie in 1..kMaxTextLength.
constexpr int kMaxTextArgument = static_cast<int>(kMaxTextLength);

int Wrap(std::uint32_t value) {
    return static_cast<int>(value);
}
int Add(int a, int b) {
    return Wrap(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
int Sub(int a, int b) {
    return Wrap(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}
int Mul(int a, int b) {
    return Wrap(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}
// Signed division truncates toward zero; a divisor of -1 is negation, which wraps for the
// smallest integer instead of trapping.
int Quotient(int a, int b) {
    return b == -1 ? Sub(0, a) : a / b;
}
int Remainder(int a, int b) {
    return b == -1 ? 0 : a % b;
}

int StoreInt(CScriptEngine& engine, const char* name, int value) {
    engine.SetVarInt(name, value);
    return value;
}

void StoreText(CScriptEngine& engine, const char* name, const std::string& text) {
    if (LongerThan(text, kMaxTextLength)) ThrowScriptError(ScriptError::kTooLong);
    engine.SetVar(name, text.c_str());
}

// intadd and intsub: "$name" and "$name, amount" (1 by default), the first two forms from
// kept tokens.
int Step(CScriptEngine& engine, char* args, int (*apply)(int, int)) {
    if (const CachedStatement* kept = engine.KeptArguments(args)) {
        const std::vector<CachedToken>& tokens = kept->tokens;
        if (!kept->endLoops && tokens[0].varRef &&
            (tokens.size() == 1 ||
             (tokens.size() == 2 && IsGiven(tokens[1]) && MayBeInt(tokens[1])))) {
            const char* name = tokens[0].text.c_str() + 1;
            const int amount = tokens.size() == 2 ? KeptInt(engine, tokens[1]) : 1;
            return StoreInt(engine, name, apply(engine.GetVarInt(name), amount));
        }
    }
    const char* name = nullptr;
    int amount = 1;
    ParseArgs(engine, args, nullptr, "vD", &name, &amount);
    return StoreInt(engine, name, apply(engine.GetVarInt(name), amount));
}

int IntAdd(CScriptEngine& engine, char* args) {
    return Step(engine, args, Add);
}

int IntSub(CScriptEngine& engine, char* args) {
    return Step(engine, args, Sub);
}

int IntMul(CScriptEngine& engine, char* args) {
    const char* name = nullptr;
    int factor = 0;
    ParseArgs(engine, args, nullptr, "vd", &name, &factor);
    return StoreInt(engine, name, Mul(engine.GetVarInt(name), factor));
}

// The divisor is checked before the variable is read, so a division by zero fails with
// kBadArgument even on an unknown variable, and nothing is stored.
int ParseDivision(CScriptEngine& engine, char* args, const char** name) {
    int divisor = 0;
    ParseArgs(engine, args, nullptr, "vd", name, &divisor);
    if (divisor == 0) ThrowScriptError(ScriptError::kBadArgument);
    return divisor;
}

int IntDiv(CScriptEngine& engine, char* args) {
    const char* name = nullptr;
    const int divisor = ParseDivision(engine, args, &name);
    return StoreInt(engine, name, Quotient(engine.GetVarInt(name), divisor));
}

int IntMod(CScriptEngine& engine, char* args) {
    const char* name = nullptr;
    const int divisor = ParseDivision(engine, args, &name);
    return StoreInt(engine, name, Remainder(engine.GetVarInt(name), divisor));
}

int IntCmp(CScriptEngine& engine, char* args) {
    if (const CachedStatement* kept = engine.KeptArguments(args)) {
        const std::vector<CachedToken>& tokens = kept->tokens;
        if (tokens.size() == 3 && !kept->endLoops && IsGiven(tokens[0]) && MayBeInt(tokens[0]) &&
            IsGiven(tokens[1]) && IsGiven(tokens[2]) && MayBeInt(tokens[2])) {
            // In the order the parse reads them.
            const int first = KeptInt(engine, tokens[0]);
            const char* op = KeptText(engine, tokens[1]);
            return CompareResult(op, Sub(first, KeptInt(engine, tokens[2])));
        }
    }
    int a = 0, b = 0;
    const char* op = nullptr;
    ParseArgs(engine, args, nullptr, "dsd", &a, &op, &b);
    return CompareResult(op, Sub(a, b));
}

// -1, 0 or +1 from the first differing byte, bytes compared unsigned (a text that ends
// first is smaller). In UTF-8, byte order is code point order.
int CompareBytes(std::string_view a, std::string_view b) {
    const int order = a.compare(b);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

// strcmp and stricmp: a length in 1..4095 limits both texts to that many characters; any
// other compares them whole. foldCase compares them in lower case.
int CompareTexts(CScriptEngine& engine, char* args, bool foldCase) {
    const char* a = nullptr;
    const char* op = nullptr;
    const char* b = nullptr;
    int length = kMaxTextArgument + 1;
    ParseArgs(engine, args, nullptr, "sssD", &a, &op, &b, &length);
    std::string_view first(a);
    std::string_view second(b);
    if (length >= 1 && length <= kMaxTextArgument) {
        first = first.substr(0, CharOffset(first, static_cast<std::size_t>(length)));
        second = second.substr(0, CharOffset(second, static_cast<std::size_t>(length)));
    }
    if (!foldCase) return CompareResult(op, CompareBytes(first, second));
    return CompareResult(op, CompareBytes(LowerCaseText(first), LowerCaseText(second)));
}

int StrCmp(CScriptEngine& engine, char* args) {
    return CompareTexts(engine, args, false);
}
int StrICmp(CScriptEngine& engine, char* args) {
    return CompareTexts(engine, args, true);
}

int StrLen(CScriptEngine& engine, char* args) {
    const char* text = nullptr;
    ParseArgs(engine, args, nullptr, "s", &text);
    return static_cast<int>(CharCount(text));
}

// Position of part in text counted from 1, 0 when absent; the empty part is at 1.
int StrPos(CScriptEngine& engine, char* args) {
    const char* text = nullptr;
    const char* part = nullptr;
    ParseArgs(engine, args, nullptr, "ss", &text, &part);
    const char* found = std::strstr(text, part);
    if (!found) return 0;
    return static_cast<int>(CharCount(std::string_view(text, found - text))) + 1;
}

int StrCat(CScriptEngine& engine, char* args) {
    const char* name = nullptr;
    const char* text = nullptr;
    ParseArgs(engine, args, nullptr, "vs", &name, &text);
    // Copied before storing: text may be the variable's own value.
    std::string& result = engine.ResultScratch();
    result += engine.GetVar(name);
    result += text;
    StoreText(engine, name, result);
    return 1;
}

void CheckTextArgument(int value) {
    if (value < 1 || value > kMaxTextArgument) ThrowScriptError(ScriptError::kBadArgument);
}

// The arguments of strget and strdel: variable, text, a position and a length or count
// (default 4095), both checked to lie in 1..4095.
struct TextSpan {
    const char* name = nullptr;
    const char* text = nullptr;
    std::size_t start = 0;  // 0-based
    std::size_t length = kMaxTextLength;
};

TextSpan ParseTextSpan(CScriptEngine& engine, char* args) {
    TextSpan span;
    int position = 0;
    int length = kMaxTextArgument;
    ParseArgs(engine, args, nullptr, "vsdD", &span.name, &span.text, &position, &length);
    CheckTextArgument(position);
    CheckTextArgument(length);
    span.start = static_cast<std::size_t>(position) - 1;
    span.length = static_cast<std::size_t>(length);
    return span;
}

// Where the span's characters lie in its text, in bytes: [from, to).
void SpanBytes(const TextSpan& span, std::size_t* from, std::size_t* to) {
    const std::string_view text(span.text);
    *from = CharOffset(text, span.start);
    *to = *from + CharOffset(text.substr(*from), span.length);
}

int StrGet(CScriptEngine& engine, char* args) {
    const TextSpan span = ParseTextSpan(engine, args);
    std::size_t from = 0, to = 0;
    SpanBytes(span, &from, &to);
    std::string& result = engine.ResultScratch();
    result.assign(span.text + from, to - from);
    StoreText(engine, span.name, result);
    return 1;
}

int StrDel(CScriptEngine& engine, char* args) {
    const TextSpan span = ParseTextSpan(engine, args);
    std::size_t from = 0, to = 0;
    SpanBytes(span, &from, &to);
    std::string& result = engine.ResultScratch();
    result.assign(span.text, from);
    result.append(span.text + to);
    StoreText(engine, span.name, result);
    return 1;
}

// strupr and strlwr: the variable gets text in upper or lower case, as the user's language
// writes it.
int ChangeCase(CScriptEngine& engine, char* args, bool upper) {
    const char* name = nullptr;
    const char* text = nullptr;
    ParseArgs(engine, args, nullptr, "vs", &name, &text);
    std::string& result = engine.ResultScratch();
    ChangeCaseInto(text, upper, result);
    StoreText(engine, name, result);
    return 1;
}

int StrUpr(CScriptEngine& engine, char* args) {
    return ChangeCase(engine, args, true);
}
int StrLwr(CScriptEngine& engine, char* args) {
    return ChangeCase(engine, args, false);
}

// The variable gets text with every occurrence of part, left to right and not overlapping,
// replaced by the replacement; the result is how many were replaced. An empty part would
// be found everywhere: refused (8).
int StrRep(CScriptEngine& engine, char* args) {
    const char* name = nullptr;
    const char* text = nullptr;
    const char* part = nullptr;
    const char* replacement = "";
    ParseArgs(engine, args, nullptr, "vssS", &name, &text, &part, &replacement);
    const std::string_view from(part);
    const std::string_view source(text);
    if (from.empty()) ThrowScriptError(ScriptError::kBadArgument);
    std::string& result = engine.ResultScratch();
    int count = 0;
    std::size_t at = 0;
    for (std::size_t found; (found = source.find(from, at)) != std::string_view::npos;
         at = found + from.size()) {
        result.append(source, at, found - at);
        result += replacement;
        ++count;
        // Past any text of kMaxTextLength characters however it is encoded: refused unbuilt.
        if (result.size() > kMaxTextLength * static_cast<std::size_t>(kMaxCharBytes))
            ThrowScriptError(ScriptError::kTooLong);
    }
    result.append(source, at, std::string_view::npos);
    StoreText(engine, name, result);
    return count;
}

// Position of the last occurrence of part in text counted from 1, 0 when absent; the empty
// part is found after the last character.
int StrRPos(CScriptEngine& engine, char* args) {
    const char* text = nullptr;
    const char* part = nullptr;
    ParseArgs(engine, args, nullptr, "ss", &text, &part);
    const std::string_view source(text);
    const std::size_t found = source.rfind(part);
    if (found == std::string_view::npos) return 0;
    return static_cast<int>(CharCount(source.substr(0, found))) + 1;
}

// One number of a dotted version, from at: its digits without leading zeros. Raises 8 for a
// part that is not decimal digits (an empty one included).
std::string_view VersionPart(std::string_view version, std::size_t* at) {
    const std::size_t end = std::min(version.find('.', *at), version.size());
    std::string_view digits = version.substr(*at, end - *at);
    if (digits.empty()) ThrowScriptError(ScriptError::kBadArgument);
    for (char c : digits) {
        if (c < '0' || c > '9') ThrowScriptError(ScriptError::kBadArgument);
    }
    *at = end + 1;
    while (digits.size() > 1 && digits[0] == '0') digits.remove_prefix(1);
    return digits;
}

// Compares two dotted versions number by number, of any size; a missing number counts as 0,
// so 1.2 and 1.2.0 are equal. -1 when a is older, 0 equal, 1 newer.
int VerCmp(CScriptEngine& engine, char* args) {
    const char* a = nullptr;
    const char* b = nullptr;
    ParseArgs(engine, args, nullptr, "ss", &a, &b);
    const std::string_view first(a), second(b);
    std::size_t atFirst = 0, atSecond = 0;
    while (atFirst <= first.size() || atSecond <= second.size()) {
        const std::string_view x = atFirst <= first.size() ? VersionPart(first, &atFirst) : "0";
        const std::string_view y = atSecond <= second.size() ? VersionPart(second, &atSecond) : "0";
        if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
        if (const int order = x.compare(y); order != 0) return order < 0 ? -1 : 1;
    }
    return 0;
}

}  // namespace

const ScriptCommand kDataCommands[] = {
    {"intadd", IntAdd},   {"intsub", IntSub}, {"intmul", IntMul}, {"intdiv", IntDiv},
    {"intmod", IntMod},   {"intcmp", IntCmp}, {"strcmp", StrCmp}, {"stricmp", StrICmp},
    {"strlen", StrLen},   {"strpos", StrPos}, {"strcat", StrCat}, {"strget", StrGet},
    {"strdel", StrDel},   {"strupr", StrUpr}, {"strlwr", StrLwr}, {"strrep", StrRep},
    {"strrpos", StrRPos}, {"vercmp", VerCmp}, {nullptr, nullptr},
};
