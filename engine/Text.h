// The engine's one text encoding, and counting in it.
//
// Every text inside the engine (lines, names, values, paths) is in one encoding: UTF-8
// wherever the process's narrow Windows calls take UTF-8 (the program's manifest asks for
// that, and Windows 10 1903 and later grant it), else the system's legacy code page, one
// byte a character, as on older Windows. The layer that knows the platform says which at
// start through SetTextCodec; text is converted only where it enters (installation files)
// and, for case rules beyond ASCII, through the codec's own calls.
//
// Limits of the language count characters as a reader sees them: a Cyrillic or Chinese
// letter is one character however many bytes it takes. Paths count in UTF-16 units, as the
// 260-unit path limit of Windows does (a character outside the Basic Multilingual Plane is
// two). Counting is cheap for the common case: a text of n bytes never holds more than n
// characters, so a text no longer than a limit in bytes is never counted.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

struct TextCodec {
    // Texts are UTF-8; otherwise they are the legacy code page, one character a byte.
    bool utf8 = true;
    // The text of a file that is not UTF-8 (read in the system's legacy code page), in
    // UTF-8. Used only when utf8 is set; nullptr reads each byte as its Latin-1 character.
    std::string (*fromLegacy)(std::string_view bytes) = nullptr;
    // The text of a UTF-8 file in the legacy code page. Used only when utf8 is clear;
    // nullptr keeps the bytes as they are.
    std::string (*fromUtf8)(std::string_view bytes) = nullptr;
    // The text with its letters in lower case as the user's language writes them; nullptr
    // lowers ASCII letters only.
    std::string (*lowerCase)(std::string_view text) = nullptr;
    // text in upper (upper set) or lower case as the user's language writes it, into out
    // (replaced; its storage reused, so that a short text costs no allocation); nullptr maps
    // ASCII letters only.
    void (*changeCase)(std::string_view text, bool upper, std::string& out) = nullptr;
};

// The process's codec: set once at start, before any engine runs, and read everywhere.
extern TextCodec gTextCodec;

// Replaces the codec for the whole process; texts already held keep their bytes.
inline void SetTextCodec(const TextCodec& codec) {
    gTextCodec = codec;
}
inline const TextCodec& GetTextCodec() {
    return gTextCodec;
}

// A text that a command gives a script (a value it stores) holds at most this many
// characters, as it did when every result was built in a buffer of 4096 bytes.
constexpr std::size_t kMaxTextLength = 4095;

// The three byte-order-mark bytes that may open a UTF-8 file.
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Whether bytes is well-formed UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF). Fed piece by piece, so that a file is checked while it is read.
class Utf8Validator {
public:
    void Feed(const char* data, std::size_t size);
    // Whether everything fed so far, taken as the whole text, is valid UTF-8.
    bool Valid() const { return valid_ && pending_ == 0; }
    // Whether any byte above 0x7F was fed: a text of ASCII reads the same in any encoding.
    bool SawNonAscii() const { return nonAscii_; }
    // The 1-based line on which the first malformed sequence began (0 while there is none).
    int FirstBadLine() const { return badLine_; }

private:
    bool valid_ = true;
    bool nonAscii_ = false;
    int pending_ = 0;           // continuation bytes still expected
    unsigned char lowest_ = 0;  // bounds of the next continuation byte
    unsigned char highest_ = 0;
    int line_ = 1;
    int badLine_ = 0;
};

// Whether the byte continues a character rather than starting one.
inline bool ContinuesChar(unsigned char byte) {
    return GetTextCodec().utf8 && (byte & 0xC0) == 0x80;
}

// The number of characters of text.
std::size_t CharCount(std::string_view text);
// Whether text has more than limit characters.
inline bool LongerThan(std::string_view text, std::size_t limit) {
    return text.size() > limit && CharCount(text) > limit;
}
// The number of UTF-16 units that Windows counts for text as a path.
std::size_t PathUnits(std::string_view text);
// Whether text, as a path, has more than limit UTF-16 units.
inline bool PathLongerThan(std::string_view text, std::size_t limit) {
    return text.size() > limit && PathUnits(text) > limit;
}
// The byte offset at which character number chars (counted from 0) starts, or text's size
// when it has no more than chars characters.
std::size_t CharOffset(std::string_view text, std::size_t chars);
// Text in lower case by the codec's rules.
std::string LowerCaseText(std::string_view text);
// text in upper (upper set) or lower case by the codec's rules, into out (replaced). ASCII
// text never reaches the codec.
void ChangeCaseInto(std::string_view text, bool upper, std::string& out);
// Whether text holds only ASCII bytes.
bool IsAscii(std::string_view text);

// What an installation file's bytes need to become the engine's text. A file that opens
// with the byte order mark, or is valid UTF-8, is UTF-8; any other is in the system's
// legacy code page, as files written for one Windows have always been.
enum class FileTextConversion { kNone, kFromLegacy, kFromUtf8 };
// bom: the file opened with kUtf8Bom (not fed to the validator); checked: every other byte.
FileTextConversion ConversionFor(bool bom, const Utf8Validator& checked);
// bytes (without the byte order mark) converted as conversion says.
std::string ConvertFileText(std::string_view bytes, FileTextConversion conversion);
