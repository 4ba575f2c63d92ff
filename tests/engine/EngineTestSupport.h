// Helpers shared by the engine tests: script errors and installation files from memory.
#pragma once

#include <string>

#include "engine/ScriptEngine.h"

namespace engine_test {

// Runs f and returns the script error code it throws, or 0 when it throws nothing.
template <typename F>
int ErrorOf(F&& f) {
    try {
        f();
    } catch (int code) {
        return code;
    }
    return 0;
}

// Loads text (a header line is prepended) into engine as the file "test.pxf".
inline void LoadText(CScriptEngine& engine, const std::string& body) {
    const std::string text = ";OBRIX_INST_FILE\n" + body;
    engine.LoadBytes(text.data(), text.size(), "test.pxf");
}

}  // namespace engine_test
