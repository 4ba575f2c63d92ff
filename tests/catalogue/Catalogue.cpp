#include "tests/catalogue/Catalogue.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/ScriptEngine.h"
#include "engine/Tokenizer.h"

namespace catalogue {

namespace {

constexpr char kArrow[] = "; =>";

// The items a line expects: what follows "; =>", or "$NAME: text" of a "; $NAME: text"
// comment. A line without expectations gives false.
bool ItemsOf(const std::string& line, std::string* items) {
    const size_t arrow = line.find(kArrow);
    if (line.rfind("; $", 0) == 0) {
        *items = line.substr(2);
    } else if (arrow != std::string::npos) {
        *items = line.substr(arrow + sizeof kArrow - 1);
    }
    return line.rfind("; $", 0) == 0 || arrow != std::string::npos;
}

// The first two words of line, the first lower-cased: a "proc" line gives the name.
std::string FirstWord(const std::string& line, std::string* second = nullptr) {
    std::istringstream in(line.substr(0, line.find(';')));
    std::string word;
    in >> word;
    if (second) in >> *second;
    for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return word;
}

std::string VarOr(CScriptEngine& engine, const std::string& name, std::string fallback) {
    try {
        return engine.GetVar(name.c_str());
    } catch (int) {
        return fallback;
    }
}

// text with each "#$name#" replaced by the variable's value, as a script line would have it.
std::string WithVariables(std::string text, CScriptEngine& engine) {
    for (size_t at = 0; (at = text.find("#$", at)) != std::string::npos;) {
        const size_t end = text.find('#', at + 2);
        if (end == std::string::npos) break;
        const std::string value =
            VarOr(engine, text.substr(at + 2, end - at - 2), text.substr(at, end + 1 - at));
        text.replace(at, end + 1 - at, value);
        at += value.size();
    }
    return text;
}

// Checks the ITEMS (README.md) of lines against one run: its error (0 for none), its result,
// the current line and the variables. Returns a line for each item that does not hold.
std::string Check(const std::vector<std::string>& lines, int error, int result,
                  CScriptEngine& engine, int procLine) {
    std::string failures;
    auto fail = [&](const std::string& what) { failures += "  " + what + "\n"; };
    bool errorNamed = false;
    for (const std::string& items : lines) {
        std::istringstream in(items);
        for (std::string item; in >> item;) {
            if (item == "error" || item == "line") {
                std::string number;
                in >> number;
                const int n = std::stoi(number) + (number[0] == '+' ? procLine : 0);
                const int actual = item == "error" ? error : engine.GetCurrentLine() + 1;
                if (n != actual) {
                    fail(item + " " + std::to_string(actual) + ", expected " + std::to_string(n));
                }
                errorNamed |= item == "error";
            } else if (item[0] == '$' || item[0] == '!') {
                const bool unset = item[0] == '!';
                const size_t mark = std::min(item.find_first_of("=:"), item.size());
                const std::string name = item.substr(unset ? 2 : 1, mark - (unset ? 2 : 1));
                std::string expected = mark < item.size() ? item.substr(mark + 1) : "";
                if (item[mark] == ':') {  // the rest of the line, after one blank
                    std::getline(in, expected);
                    expected = expected.empty() ? "" : expected.substr(1);
                }
                expected = unset ? "<unset>" : WithVariables(expected, engine);
                const std::string actual = VarOr(engine, name, "<unset>");
                if (actual != expected) {
                    fail("$" + name + " is '" + actual + "', expected '" + expected + "'");
                }
            } else if (item.find_first_not_of("-0123456789") != std::string::npos) {
                fail("'" + item + "' is no expectation");
            } else if (error == 0 && std::stoi(item) != result) {
                fail("result " + std::to_string(result) + ", expected " + item);
            }
        }
    }
    if (error != 0 && !errorNamed) fail("error " + std::to_string(error) + ", expected none");
    return failures;
}

// Runs f and returns the script error code it throws, or 0.
template <typename F>
int ErrorOf(F&& f) {
    try {
        f();
    } catch (int code) {
        return code;
    }
    return 0;
}

std::string RunCalled(const Behaviour& b, CScriptEngine& engine) {
    int result = 0;
    const int error = ErrorOf([&] { result = engine.CallProc(b.name.c_str()); });
    std::string failures = Check(b.expectations, error, result, engine, b.line);
    if (engine.GetCallDepth() != 0) {
        failures += "  call depth left at " + std::to_string(engine.GetCallDepth()) + "\n";
    }
    return failures;
}

// Each line runs as the interpreter runs a line: expand, strip the label, execute.
std::string RunStepped(const Behaviour& b, CScriptEngine& engine) {
    std::string failures;
    int start = 0, end = 0;
    engine.GetProcRange(b.name.c_str(), &start, &end);
    for (int i = start + 1; i < end; ++i) {
        const char* raw = engine.GetLines().GetAt(i);
        const std::string line = raw ? raw : "";
        std::string items;
        ItemsOf(line, &items);
        int result = 0;
        const int error = ErrorOf([&] {
            engine.SetCurrentLine(i);
            char* text = engine.ExpandLine();
            if (*text != '\0') result = engine.ExecuteStatement(ParseLabel(text));
        });
        const std::string lineFailures = Check({items}, error, result, engine, b.line);
        if (!lineFailures.empty()) {
            failures += "  line " + std::to_string(i + 1) + ": " + line + "\n" + lineFailures;
        }
        // As at the end of a body: a return is over, an "end" stops every later call.
        if (engine.GetStopMode() == CScriptEngine::kReturning) {
            engine.SetStopMode(CScriptEngine::kRunning);
        }
    }
    return failures;
}

void ReadFile(const std::string& path, std::vector<Behaviour>& behaviours) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        lines.push_back(line);
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        Behaviour b;
        if (FirstWord(lines[i], &b.name) != "proc") continue;
        b.file = path;
        b.line = static_cast<int>(i + 1);
        std::string items;
        for (size_t above = i;
             above > 0 && lines[above - 1].rfind(';', 0) == 0 && ItemsOf(lines[above - 1], &items);
             --above) {
            b.expectations.insert(b.expectations.begin(), items);
        }
        for (size_t j = i + 1; j < lines.size() && FirstWord(lines[j]) != "endp"; ++j) {
            b.stepped |= lines[j].find(kArrow) != std::string::npos;
        }
        if (b.stepped || !b.expectations.empty()) behaviours.push_back(b);
    }
}

}  // namespace

std::vector<Behaviour> ReadBehaviours(const std::string& folder,
                                      const std::vector<std::string>& topics) {
    std::vector<std::string> files;
    for (const std::string& topic : topics) files.push_back(folder + "/" + topic + ".pxf");
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (topics.empty() && entry.path().extension() == ".pxf") {
            files.push_back(entry.path().string());
        }
    }
    std::sort(files.begin(), files.end());
    std::vector<Behaviour> behaviours;
    for (const std::string& file : files) ReadFile(file, behaviours);
    return behaviours;
}

std::string TestName(const Behaviour& behaviour) {
    std::string file = behaviour.file.substr(behaviour.file.find_last_of("\\/") + 1);
    std::string name = file.substr(0, file.find('.')) + "_" + behaviour.name;
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return name;
}

std::string Run(const Behaviour& behaviour, Sandbox& sandbox) {
    RecordingHost host;
    CScriptEngine engine;
    engine.SetHost(&host);
    std::string failures;
    const int loadError = ErrorOf([&] { engine.Load(behaviour.file.c_str()); });
    if (loadError != 0) {
        failures = "  the file does not load: error " + std::to_string(loadError) + "\n";
    } else {
        sandbox.Prepare(engine);
        failures = behaviour.stepped ? RunStepped(behaviour, engine) : RunCalled(behaviour, engine);
        sandbox.Finish(engine);
    }
    if (failures.empty()) return "";
    return behaviour.file + ":" + std::to_string(behaviour.line) + ": proc " + behaviour.name +
           "\n" + failures;
}

}  // namespace catalogue
