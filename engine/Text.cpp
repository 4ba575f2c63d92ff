#include "engine/Text.h"

TextCodec gTextCodec;

namespace {

// Latin-1 as UTF-8: the stand-in for the legacy code page where the platform gives none.
std::string Latin1ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char c : bytes) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out.push_back(c);
        } else {
            out.push_back(static_cast<char>(0xC0 | (b >> 6)));
            out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
        }
    }
    return out;
}

std::string LowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

}  // namespace

void Utf8Validator::Feed(const char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char b = static_cast<unsigned char>(data[i]);
        if (b >= 0x80) nonAscii_ = true;
        if (!valid_) continue;
        if (pending_ > 0) {
            if (b < lowest_ || b > highest_) {
                valid_ = false;
                badLine_ = line_;
                continue;
            }
            --pending_;
            lowest_ = 0x80;
            highest_ = 0xBF;
            continue;
        }
        if (b == '\n') ++line_;
        if (b < 0x80) continue;
        // The first continuation byte's bounds exclude overlong forms, surrogates and
        // values past U+10FFFF.
        lowest_ = 0x80;
        highest_ = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            pending_ = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            pending_ = 2;
            if (b == 0xE0) lowest_ = 0xA0;
            if (b == 0xED) highest_ = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            pending_ = 3;
            if (b == 0xF0) lowest_ = 0x90;
            if (b == 0xF4) highest_ = 0x8F;
        } else {
            valid_ = false;
            badLine_ = line_;
        }
    }
}

std::size_t CharCount(std::string_view text) {
    if (!gTextCodec.utf8) return text.size();
    std::size_t count = 0;
    for (char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

std::size_t PathUnits(std::string_view text) {
    if (!gTextCodec.utf8) return text.size();
    std::size_t units = 0;
    for (char c : text) {
        const unsigned char b = static_cast<unsigned char>(c);
        // A four-byte sequence is a surrogate pair: two units.
        units += ((b & 0xC0) != 0x80) + (b >= 0xF0);
    }
    return units;
}

std::size_t CharOffset(std::string_view text, std::size_t chars) {
    if (!gTextCodec.utf8) return chars < text.size() ? chars : text.size();
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (seen == chars) return i;
        ++seen;
    }
    return text.size();
}

bool IsAscii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

std::string LowerCaseText(std::string_view text) {
    if (IsAscii(text) || !gTextCodec.lowerCase) return LowerAscii(text);
    return gTextCodec.lowerCase(text);
}

void ChangeCaseInto(std::string_view text, bool upper, std::string& out) {
    if (!IsAscii(text) && gTextCodec.changeCase) return gTextCodec.changeCase(text, upper, out);
    out.assign(text);
    for (char& c : out) {
        if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
}

FileTextConversion ConversionFor(bool bom, const Utf8Validator& checked) {
    const bool isUtf8 = bom || checked.Valid();
    if (gTextCodec.utf8)
        return isUtf8 ? FileTextConversion::kNone : FileTextConversion::kFromLegacy;
    // Inside the legacy code page, only UTF-8 beyond ASCII needs converting.
    const bool needsConverting = bom || (isUtf8 && checked.SawNonAscii());
    return needsConverting ? FileTextConversion::kFromUtf8 : FileTextConversion::kNone;
}

std::string ConvertFileText(std::string_view bytes, FileTextConversion conversion) {
    switch (conversion) {
        case FileTextConversion::kFromLegacy:
            return gTextCodec.fromLegacy ? gTextCodec.fromLegacy(bytes) : Latin1ToUtf8(bytes);
        case FileTextConversion::kFromUtf8:
            if (gTextCodec.fromUtf8) return gTextCodec.fromUtf8(bytes);
            break;
        case FileTextConversion::kNone:
            break;
    }
    return std::string(bytes);
}
