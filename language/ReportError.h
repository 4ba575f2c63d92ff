// The one error box of the program for a failed Device library or Windows call.
#pragma once

// Shows one error box for a failed Device library call (code 1 and above, its text from
// the library) or Windows call (code below 1, the text of GetLastError); code 104 shows
// nothing. prefix, when given, stands before the text. Returns the box's result.
int ReportError(int code, const char* prefix = nullptr);
