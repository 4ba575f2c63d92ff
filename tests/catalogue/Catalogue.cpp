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

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
}

std::vector<std::string> FileLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(Trimmed(line));
    return lines;
}

// The first word of line (lower-cased unless asked not to) and what follows it.
std::string FirstWord(const std::string& line, std::string* rest = nullptr, bool lower = true) {
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos) return "";
    const size_t end = std::min(line.find_first_of(" \t", start), line.size());
    if (rest) *rest = line.substr(std::min(line.find_first_not_of(" \t", end), line.size()));
    std::string word = line.substr(start, end - start);
    for (char& c : word) {
        if (lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return word;
}

bool IsExpectation(const std::string& line) {
    return line.rfind(kArrow, 0) == 0 || line.rfind("; $", 0) == 0;
}

// text with each "#$name#" replaced by the variable's value, as a script line would have it.
std::string WithVariables(std::string text, CScriptEngine& engine) {
    for (size_t at = 0; (at = text.find("#$", at)) != std::string::npos;) {
        const size_t end = text.find('#', at + 2);
        if (end == std::string::npos) break;
        std::string value = text.substr(at, end + 1 - at);
        try {
            value = engine.GetVar(text.substr(at + 2, end - at - 2).c_str());
        } catch (int) {
        }
        text.replace(at, end + 1 - at, value);
        at += value.size();
    }
    return text;
}

// Checks ITEMS (see the header) against one run: its error (0 for none), its result, the
// current line and the variables. Adds a line to failures for each item that does not hold.
void CheckItems(const std::string& items, int error, int result, CScriptEngine& engine,
                int procLine, std::string& failures) {
    std::istringstream in(items);
    std::string item;
    auto fail = [&](const std::string& what) { failures += "  " + what + "\n"; };
    bool errorNamed = false;
    while (in >> item) {
        if (item == "error" || item == "line") {
            std::string number;
            in >> number;
            const int n = std::stoi(number) + (number[0] == '+' ? procLine : 0);
            const int actual = item == "error" ? error : engine.GetCurrentLine() + 1;
            if (n != actual)
                fail(item + " " + std::to_string(actual) + ", expected " + std::to_string(n));
            errorNamed |= item == "error";
        } else if (item[0] == '$' || item[0] == '!') {
            const bool unset = item[0] == '!';
            const size_t mark = item.find_first_of("=:");
            std::string name =
                item.substr(unset ? 2 : 1, mark == std::string::npos ? mark : mark - 1);
            std::string expected;
            if (mark != std::string::npos && item[mark] == ':') {
                std::getline(in, expected);
                expected = expected.empty() ? "" : expected.substr(1);
            } else if (mark != std::string::npos) {
                expected = item.substr(mark + 1);
            }
            std::string actual = "<unset>";
            try {
                actual = engine.GetVar(name.c_str());
            } catch (int) {
            }
            if (unset) expected = "<unset>";
            expected = WithVariables(expected, engine);
            if (actual != expected)
                fail("$" + name + " is '" + actual + "', expected '" + expected + "'");
        } else if (item.find_first_not_of("-0123456789") != std::string::npos) {
            fail("'" + item + "' is no expectation");
        } else if (error == 0 && std::stoi(item) != result) {
            fail("result " + std::to_string(result) + ", expected " + item);
        }
    }
    if (error != 0 && !errorNamed) fail("error " + std::to_string(error) + ", expected none");
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

void RunCalled(const Behaviour& b, CScriptEngine& engine, std::string& failures) {
    int result = 0;
    const int error = ErrorOf([&] { result = engine.CallProc(b.name.c_str()); });
    std::string items;
    for (const std::string& line : b.expectations) {
        if (line.rfind(kArrow, 0) == 0) {
            items += line.substr(sizeof kArrow - 1) + " ";
        } else {  // "; $NAME: text"
            CheckItems(line.substr(2), 0, result, engine, b.line, failures);
        }
    }
    CheckItems(items, error, result, engine, b.line, failures);
    if (engine.GetCallDepth() != 0)
        failures += "  call depth left at " + std::to_string(engine.GetCallDepth()) + "\n";
}

void RunStepped(const Behaviour& b, CScriptEngine& engine, std::string& failures) {
    int start = 0, end = 0;
    engine.GetProcRange(b.name.c_str(), &start, &end);
    for (int i = start + 1; i < end; ++i) {
        const char* raw = engine.GetLines().GetAt(i);
        const std::string line = raw ? raw : "";
        const size_t arrow = line.find(kArrow);
        int result = 0;
        const int error = ErrorOf([&] {
            engine.SetCurrentLine(i);
            char* text = engine.ExpandLine();
            if (*text != '\0') result = engine.ExecuteStatement(ParseLabel(text));
        });
        std::string lineFailures;
        CheckItems(arrow == std::string::npos ? "" : line.substr(arrow + sizeof kArrow - 1), error,
                   result, engine, b.line, lineFailures);
        if (!lineFailures.empty()) {
            failures += "  line " + std::to_string(i + 1) + ": " + line + "\n" + lineFailures;
        }
        // As at the end of a body: a return is over, an "end" stops every later call.
        if (engine.GetStopMode() == CScriptEngine::kReturning) {
            engine.SetStopMode(CScriptEngine::kRunning);
        }
    }
}

}  // namespace

std::vector<std::string> TopicFiles(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() == ".pxf") files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<Behaviour> ReadBehaviours(const std::string& path) {
    const std::vector<std::string> lines = FileLines(path);
    std::vector<Behaviour> behaviours;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string rest;
        if (FirstWord(lines[i], &rest) != "proc") continue;
        Behaviour b;
        b.file = path;
        b.name = FirstWord(rest.substr(0, rest.find(';')), nullptr, false);
        b.line = static_cast<int>(i + 1);
        for (size_t above = i; above > 0 && IsExpectation(lines[above - 1]); --above) {
            b.expectations.insert(b.expectations.begin(), lines[above - 1]);
        }
        for (size_t j = i + 1; j < lines.size() && FirstWord(lines[j]) != "endp"; ++j) {
            b.stepped |= lines[j].find(kArrow) != std::string::npos;
        }
        if (b.stepped || !b.expectations.empty()) behaviours.push_back(b);
    }
    return behaviours;
}

void PrintTo(const Behaviour& behaviour, std::ostream* out) {
    *out << behaviour.name;
}

std::string TestName(const Behaviour& behaviour) {
    std::string file = behaviour.file.substr(behaviour.file.find_last_of("\\/") + 1);
    std::string name = file.substr(0, file.find('.')) + "_" + behaviour.name;
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return name;
}

int RecordingHost::AddProgressSteps(int steps) {
    Note("Add " + std::to_string(steps));
    return steps;
}

void RecordingHost::ProgressStep(int pos) {
    Note("Step " + std::to_string(pos));
    if (pos == 102) throw 102;
}

int RecordingHost::Prompt(const char* text, const char* type) {
    Note("Prompt '" + std::string(text) + "' '" + type + "'");
    return CSilentInstallHost::Prompt(text, type);
}

int RecordingHost::AskReplaceNewer(const char* path, const _WIN32_FIND_DATAA* source,
                                   const _WIN32_FIND_DATAA* destination) {
    Note("AskReplaceNewer " + std::string(path));
    return CSilentInstallHost::AskReplaceNewer(path, source, destination);
}

void RecordingHost::Note(const std::string& call) {
    calls_ += (calls_.empty() ? "" : "|") + call;
}

std::string RecordingHost::TakeCalls() {
    std::string calls;
    calls.swap(calls_);
    return calls;
}

std::string Run(const Behaviour& behaviour, CScriptEngine& engine, Sandbox& sandbox) {
    std::string failures;
    const int loadError = ErrorOf([&] { engine.Load(behaviour.file.c_str()); });
    if (loadError != 0)
        return "  the file does not load: error " + std::to_string(loadError) + "\n";
    sandbox.Prepare(engine);
    if (behaviour.stepped) {
        RunStepped(behaviour, engine, failures);
    } else {
        RunCalled(behaviour, engine, failures);
    }
    return failures;
}

}  // namespace catalogue
