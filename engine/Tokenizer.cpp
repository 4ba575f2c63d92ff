#include "engine/Tokenizer.h"

#include <cctype>
#include <climits>
#include <cstring>

#include "engine/ItemArray.h"
#include "engine/ScriptError.h"
#include "engine/Text.h"

namespace {

bool IsEscapeSecond(char c) {
    return c == '#' || c == ';' || c == '"';
}

// White space as isspace has it in the C locale, whatever locale the runtime is in.
bool IsWhiteSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

// The standard signed conversion (strtol's rules: leading white space, a sign, in base 16
// an optional "0x" prefix, digits; *end at the first character not used, or at text when
// there were no digits), clamped to 32 bits. Written out rather than called so that it
// reads the same whatever the runtime's locale, and stays cheap: every procedure call
// reads its line range through here.
int ConvertInt(const char* text, int base, const char** end) {
    const char* p = text;
    while (IsWhiteSpace(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (base == 16 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && DigitValue(p[2]) < 16) {
        p += 2;
    }
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    long long value = 0;
    const char* digits = p;
    if (base == 10) {
        // Decimal, the common case, without the letter digits.
        for (unsigned d; (d = static_cast<unsigned char>(*p) - '0') < 10; ++p) {
            if (value <= limit) value = value * 10 + d;  // saturates just above the limit
        }
    } else {
        for (int d; (d = DigitValue(*p)) < base; ++p) {
            if (value <= limit) value = value * base + d;
        }
    }
    if (p == digits) {
        *end = text;
        return 0;
    }
    *end = p;
    if (value > limit) value = limit;
    return static_cast<int>(negative ? -value : value);
}

}  // namespace

bool AtListEnd(const char* list) {
    if (!list) return true;
    list = SkipBlanks(list);
    return *list == '\0' || *list == ';';
}

char* NextToken(char* text, char** next) {
    char* src = SkipBlanks(text);
    char* dst = src;  // the token is written over the text it is read from
    char* token = src;
    if (*src == '"') {
        ++src;
        for (;;) {
            char c = *src;
            if (c == '\0') ThrowScriptError(ScriptError::kUnclosedQuote);
            if (c == '"') break;
            if (c == '#' && IsEscapeSecond(src[1])) {
                *dst++ = src[1];
                src += 2;
            } else {
                *dst++ = c;
                ++src;
            }
        }
        ++src;  // past the closing quote
    } else if (*src == ';' || *src == '\0') {
        return nullptr;
    } else {
        while (*src != '\0' && *src != ',' && *src != ';') {
            if (*src == '#' && IsEscapeSecond(src[1])) {
                *dst++ = src[1];
                src += 2;
            } else {
                *dst++ = *src++;
            }
        }
        while (dst > token && IsBlank(dst[-1])) --dst;
    }

    src = SkipBlanks(src);
    if (*src == '\0' || *src == ';') {
        *next = nullptr;
    } else if (*src == ',') {
        *next = SkipBlanks(src + 1);
    } else {
        ThrowScriptError(ScriptError::kBadArgument);  // text after a closing quote
    }
    *dst = '\0';  // dst never passes src, so this cannot clobber what *next points to
    return token;
}

const char* SplitWord(const char* text, const char* delimiters, std::string& out) {
    out.clear();
    if (!text) return nullptr;
    const char* p = SkipBlanks(text);
    if (*p == '\0') return nullptr;
    size_t len = std::strcspn(p, delimiters);
    if (LongerThan(std::string_view(p, len), kMaxNameLength)) {
        ThrowScriptError(ScriptError::kTooLong);
    }
    out.assign(p, len);
    p += len;
    if (*p == '\0') return nullptr;
    return SkipBlanks(p + 1);
}

bool ParseInt(const char* text, int* out) {
    if (!text) return false;
    const char* digits = text;
    int base = 10;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        digits = text + 2;
        base = 16;
    }
    const char* end = nullptr;
    int value = ConvertInt(digits, base, &end);
    if (*end != '\0') return false;
    *out = value;
    return true;
}

int LeadingInt(const char* text) {
    if (!text) return 0;
    const char* end = nullptr;
    return ConvertInt(text, 10, &end);
}

bool IsVarRef(const char* token) {
    if (!token || token[0] != '$' || token[1] == '\0') return false;
    for (const char* p = token + 1; *p; ++p) {
        char c = *p;
        if (c == '"' || c == ';' || c == '#' || c == '$' ||
            std::isspace(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

int LabelLength(const char* line) {
    const char* colon = std::strchr(line, ':');
    if (!colon) return 0;
    for (const char* p = line; p < colon; ++p) {
        if (*p == ' ' || *p == ';') return 0;
    }
    return static_cast<int>(colon - line);
}

char* ParseLabel(char* text) {
    if (text[0] == ':') ThrowScriptError(ScriptError::kSyntax);
    int len = LabelLength(text);
    if (len == 0) return text;
    if (LongerThan(std::string_view(text, len), kMaxNameLength)) {
        ThrowScriptError(ScriptError::kTooLong);
    }
    return SkipBlanks(text + len + 1);
}
