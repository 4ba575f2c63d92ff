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

std::string Narrow(UINT codePage, std::wstring_view text) {
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

std::string FromLegacy(std::string_view bytes) {
    return Narrow(CP_UTF8, Widen(LegacyCodePage(), bytes));
}

// Characters the legacy code page lacks become its default character, as a text typed on
// that system would.
std::string FromUtf8(std::string_view bytes) {
    return Narrow(CP_ACP, Widen(CP_UTF8, bytes));
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
    return Narrow(CP_ACP, lower);
}

}  // namespace

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
    SetTextCodec(codec);
}

}  // namespace tolv
