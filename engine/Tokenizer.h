// The lexical layer of the installation language: argument tokens, words, integers,
// variable references and labels. Plain functions without engine state; all of them work
// in place on the caller's text and never write past its terminator.
#pragma once

#include <string>

// Space and tab: the blanks that separate words and surround tokens.
inline bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
inline char* SkipBlanks(char* p) {
    while (IsBlank(*p)) ++p;
    return p;
}
inline const char* SkipBlanks(const char* p) {
    while (IsBlank(*p)) ++p;
    return p;
}

// True when an argument list has nothing more to give: after blanks, its end or a ";".
// A null list is at its end too.
bool AtListEnd(const char* list);

// Cuts the next comma-separated token out of text, in place, resolving the escapes "##",
// "#;" and "#\"" to their second character, and returns it. A quoted token keeps its
// content as written (blanks included); an unquoted one is trimmed of blanks. Returns
// nullptr, leaving *next alone, when the list is at its end. Otherwise *next is set to the
// start of the following token (blanks skipped) or to nullptr when none follows.
// Raises 10 for a quote not closed, 8 for text after a closing quote.
char* NextToken(char* text, char** next);

// Copies the first word of text (leading blanks skipped, up to the first character of
// delimiters or the end) into out and returns the text after the delimiter, blanks
// skipped; nullptr when the word ended at the end of text or there was no word (out is
// then empty). Raises 9 for a word over 255 characters.
const char* SplitWord(const char* text, const char* delimiters, std::string& out);
inline char* SplitWord(char* text, const char* delimiters, std::string& out) {
    return const_cast<char*>(SplitWord(static_cast<const char*>(text), delimiters, out));
}

// Reads the whole of text as a 32-bit integer: decimal, or hexadecimal after "0x"/"0X".
// Leading blanks and a sign are accepted; values beyond the 32-bit range are clamped.
// Returns false (out untouched) when text is null or anything is left after the number;
// the empty text is 0.
bool ParseInt(const char* text, int* out);

// The leading decimal number of text (leading blanks and a sign accepted, no digits: 0),
// clamped to 32 bits. The reading of a variable as an integer.
int LeadingInt(const char* text);

// A variable reference: "$" followed by at least one character, none of which is a double
// quote, ";", "#", "$" or white space.
bool IsVarRef(const char* token);

// Length of the label at the start of line: text before the first ":" of the line with no
// space and no ";" before that colon (a tab does not end a label). 0 when the line has no
// label, and also when the colon is its first character.
int LabelLength(const char* line);

// Strips a leading label from an expanded statement line and returns the statement after
// it, blanks skipped (text itself when there is no label). Raises 3 for a line beginning
// with a colon, 9 for a label over 255 characters.
char* ParseLabel(char* text);
