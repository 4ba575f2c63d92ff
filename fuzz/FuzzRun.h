// One fuzzing run of an installation file: load the bytes, then call each of its
// procedures, on an engine with the string and integer commands and a host that answers
// every prompt. Shared by the libFuzzer target and the test that replays the corpus.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzz {

// Statements one input may run: the language has no bound of its own on loops, so an
// input like "l: goto l" would otherwise run for ever (a hang, not a finding).
constexpr int kStatementBudget = 20000;
// The error a run ends with when the budget is spent (no script error code uses it).
constexpr int kBudgetSpent = -1;

// Loads data as the installation file named path (not written) and calls every recorded
// procedure. Returns the number of procedures called; any crash, sanitizer report or
// exception other than a script error code is the finding.
int RunInput(const std::uint8_t* data, std::size_t size, const char* path);

}  // namespace fuzz
