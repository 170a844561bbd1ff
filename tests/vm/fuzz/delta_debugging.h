// Delta debugging: the smallest set of changes (no single change of it can
// go) that still makes an input fail. `fails` is given candidate sets of
// change indexes in one batch (the fuzzers run a batch in one process) and
// answers the index of the first candidate that fails, or -1; a set of
// fewer changes comes before a larger one.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

namespace tarvelo::fuzz {

using Changes = std::vector<std::size_t>;
using FailsFirst = std::function<int(const std::vector<Changes>& candidates)>;

// The changes 0 .. count-1 together fail; returns a 1-minimal subset of
// them (ascending). `tests`, when given, counts the candidates tried.
Changes minimal_failing_changes(std::size_t count, const FailsFirst& fails, std::size_t* tests = nullptr);

}  // namespace tarvelo::fuzz
