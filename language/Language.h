// Language selection and localised lookups. Every user-visible string and dialog template
// is looked up through one language module and one id offset: the program's own table
// carries English at the plain ids and Russian at id + 1000, and further languages can
// come from resource-only modules.
#pragma once

#include <windows.h>

#include <string>

// Chooses the language from HKLM\SOFTWARE\Obrix (values Language and Shared Path) and
// finds the module that holds it, falling back to Russian. Non-zero on success.
int InitLanguage(HINSTANCE instance, const char* baseName, const char* programDirectory);
// Releases the language module unless it is the program itself.
void FreeLanguage();

// LoadString of id + offset from the language module into a buffer of 256 characters
// (or size); the buffer is emptied first. Returns the length.
int LoadLangString(UINT id, wchar_t* buffer);
int LoadLangStringN(UINT id, wchar_t* buffer, int size);
// The text of id + offset, or "no resource" when the lookup gives nothing.
std::wstring LangString(UINT id);
// LangString copied into buffer (size 0 means 256), cut to fit.
void LangStringToBuffer(wchar_t* buffer, UINT id, int size);
// The locked dialog template id + offset of the language module, or null.
const DLGTEMPLATE* LoadLangDialog(UINT templateId);

// The state chosen by the last InitLanguage, for diagnostics and tests.
const char* CurrentLanguageCode();
int LanguageOffset();
HMODULE LanguageModule();
bool LanguageIsProgramItself();

// Reads a module's language list, "LANGUAGES" followed by code=offset entries, and
// returns whether it names code; offset receives the number after "=". The code is found
// by plain substring search, so the tail of a longer code also matches.
bool FindLanguageInList(const std::wstring& list, const char* code, int* offset);
