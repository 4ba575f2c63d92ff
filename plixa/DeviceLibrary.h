// The Device library's functions and device record, as the program imports them.
#pragma once

#include "plixa/Plixa.h"

// The flags value that asks the Device library for exclusive use by this process.
constexpr unsigned kExclusiveMode = 0x40000000;
// The library's answer when another process holds it exclusively.
constexpr int kLibraryInUse = 59;
// A library code that is never shown to the user.
constexpr int kSilentError = 104;
