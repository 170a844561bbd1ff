#include "tests/vm/fuzz/delta_debugging.h"

#include <algorithm>

namespace tarvelo::fuzz {

Changes minimal_failing_changes(std::size_t count, const FailsFirst& fails, std::size_t* tests) {
    Changes current(count);
    for (std::size_t i = 0; i < count; ++i) current[i] = i;
    std::size_t tried = 0;
    std::size_t parts = 2;
    while (current.size() >= 2) {
        parts = std::min(parts, current.size());
        // The parts, then their complements: a part alone that fails is the
        // bigger step.
        std::vector<Changes> candidates;
        const std::size_t n = current.size();
        for (std::size_t p = 0; p < parts; ++p)
            candidates.emplace_back(current.begin() + static_cast<std::ptrdiff_t>(n * p / parts),
                                    current.begin() + static_cast<std::ptrdiff_t>(n * (p + 1) / parts));
        if (parts > 2)
            for (std::size_t p = 0; p < parts; ++p) {
                Changes rest;
                for (std::size_t q = 0; q < parts; ++q)
                    if (q != p) rest.insert(rest.end(), candidates[q].begin(), candidates[q].end());
                candidates.push_back(std::move(rest));
            }
        const int first = fails(candidates);
        tried += first < 0 ? candidates.size() : static_cast<std::size_t>(first) + 1;
        if (first >= 0) {
            const bool part = static_cast<std::size_t>(first) < parts;
            current = candidates[static_cast<std::size_t>(first)];
            parts = part ? 2 : std::max<std::size_t>(parts - 1, 2);
        } else if (parts < current.size()) {
            parts = std::min(parts * 2, current.size());
        } else {
            break;
        }
    }
    // One change left: it fails alone by the loop's own test, unless
    // the input had none to drop.
    if (tests != nullptr) *tests = tried;
    return current;
}

}  // namespace tarvelo::fuzz
