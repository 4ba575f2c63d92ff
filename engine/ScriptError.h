// Script error codes and the one way to raise them.
//
// A failure inside a script run is thrown as a bare int and unwinds through every active
// procedure call to the flow that called the engine. Nothing in the engine catches it except
// to clean up a call frame and rethrow.
#pragma once

namespace ScriptError {
enum : int {
    kNotFound = 1,         // unknown variable, macro, procedure or label
    kNoMemory = 2,         // a table, string or frame could not grow
    kSyntax = 3,           // malformed line, surplus argument, bad operator
    kDuplicateProc = 4,    // two procedures with the same name
    kNotInteger = 5,       // a d argument that is no integer
    kTooDeep = 6,          // call depth, expansion passes or statement nesting
    kPastLastLine = 7,     // execution ran off the end of the lines
    kBadArgument = 8,      // required argument missing, text after a quote
    kTooLong = 9,          // word, name or label over 255, line reaching 4095
    kUnclosedQuote = 10,   // quote not closed on its line
    kUnreadable = 11,      // installation file cannot be read
    kNotInstallFile = 12,  // header line missing
    kNoHost = 13,          // GetHost without an attached host
    kAborted = 101,        // the script aborted itself
    kCancelled = 102,      // the user cancelled
    kCopyFailed = 255,     // read or write failure inside a file copy
};
}  // namespace ScriptError

// Throws code as a bare int. The only throw point of the engine and its commands.
[[noreturn]] void ThrowScriptError(int code);
