#include "platform/TextCodec.h"

#include <windows.h>

#include <string>
#include <string_view>

#include "engine/Text.h"

namespace tolv {
namespace {

std::wstring Widen(UINT codePage, std::string_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), length);
    return wide;
}

std::string FromLegacy(std::string_view bytes) {
    return TextFromWide(Widen(LegacyCodePage(), bytes), CP_UTF8);
}

// Characters the legacy code page lacks become its default character, as a text typed on
// that system would.
std::string FromUtf8(std::string_view bytes) {
    return TextFromWide(Widen(CP_UTF8, bytes));
}

// Lower case as the user's language writes it (with its own rules, such as Turkish dotted
// and dotless i), the way Windows lowers text for that language.
std::string LowerCase(std::string_view text) {
    std::wstring wide = Widen(CP_ACP, text);
    if (wide.empty()) return std::string(text);
    const int size = static_cast<int>(wide.size());
    std::wstring lower(wide.size(), L'\0');
    const int length =
        LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_LOWERCASE | LCMAP_LINGUISTIC_CASING,
                      wide.data(), size, lower.data(), size, nullptr, nullptr, 0);
    if (length <= 0) return std::string(text);
    lower.resize(static_cast<size_t>(length));
    return TextFromWide(lower);
}

// Upper or lower case as the user's language writes it, through buffers on the stack for
// texts of up to kShort UTF-16 units, so that the commands that change case allocate
// nothing for the short texts scripts mostly hold.
void ChangeCase(std::string_view text, bool upper, std::string& out) {
    constexpr int kShort = 512;
    wchar_t shortWide[kShort];
    wchar_t shortMapped[kShort];
    std::wstring longWide, longMapped;
    const int size = static_cast<int>(text.size());
    int units = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    if (units <= 0) {
        out.assign(text);
        return;
    }
    wchar_t* wide = shortWide;
    wchar_t* mapped = shortMapped;
    if (units > kShort) {
        longWide.resize(static_cast<size_t>(units));
        longMapped.resize(static_cast<size_t>(units));
        wide = longWide.data();
        mapped = longMapped.data();
    }
    MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide, units);
    const DWORD flags = (upper ? LCMAP_UPPERCASE : LCMAP_LOWERCASE) | LCMAP_LINGUISTIC_CASING;
    units = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, flags, wide, units, mapped, units, nullptr,
                          nullptr, 0);
    const int bytes =
        units > 0 ? WideCharToMultiByte(CP_ACP, 0, mapped, units, nullptr, 0, nullptr, nullptr) : 0;
    if (bytes <= 0) {
        out.assign(text);
        return;
    }
    out.resize(static_cast<size_t>(bytes));
    WideCharToMultiByte(CP_ACP, 0, mapped, units, out.data(), bytes, nullptr, nullptr);
}

}  // namespace

std::string TextFromWide(std::wstring_view text, unsigned codePage) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length =
        WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(length > 0 ? length : 0), '\0');
    if (length > 0) {
        WideCharToMultiByte(codePage, 0, text.data(), size, narrow.data(), length, nullptr,
                            nullptr);
    }
    return narrow;
}

unsigned LegacyCodePage() {
    DWORD codePage = 0;
    // The number arrives in the buffer itself, as many UTF-16 units as a DWORD takes.
    if (GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                       reinterpret_cast<LPWSTR>(&codePage), sizeof codePage / sizeof(wchar_t)) &&
        codePage != 0 && codePage != CP_UTF8) {
        return codePage;
    }
    return GetACP() == CP_UTF8 ? 1252 : GetACP();
}

void UseSystemTextCodec() {
    TextCodec codec;
    codec.utf8 = GetACP() == CP_UTF8;
    codec.fromLegacy = FromLegacy;
    codec.fromUtf8 = FromUtf8;
    codec.lowerCase = LowerCase;
    codec.changeCase = ChangeCase;
    SetTextCodec(codec);
}

}  // namespace tolv
