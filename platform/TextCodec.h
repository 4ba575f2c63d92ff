// The engine's text codec on Windows (see engine/Text.h).
//
// The program asks in its manifest for UTF-8 as the active code page: from Windows 10 1903
// on, every narrow Windows call then takes and gives UTF-8, so that every name in every
// language crosses into the registry, the file system and the windows unchanged, with no
// conversion in the middle of the code. We chose this over converting to the wide calls at
// each edge because the script language, its buffers and the Device library's interface
// are narrow through and through: one setting reaches all of them, the Device library
// included. Older Windows ignore the request; the program then works in the system's legacy
// code page exactly as before, and UTF-8 installation files are converted into it.
#pragma once

#include <string>
#include <string_view>

namespace tolv {

// A text of the wide calls in the program's code page (codePage 0, CP_ACP), or in another
// one (CP_UTF8 for the log).
std::string TextFromWide(std::wstring_view text, unsigned codePage = 0);

// Sets the process's text codec from the active code page. Cheap; call before any engine
// loads a file (the engine's constructor does).
void UseSystemTextCodec();
// The system's legacy code page for programs that are not Unicode (1252 on a Western
// Windows, 1251 on a Russian one), whatever the process's active code page.
unsigned LegacyCodePage();

}  // namespace tolv
