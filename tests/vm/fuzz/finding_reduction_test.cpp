// The pieces of the reduction of the install fuzzers' findings: the edits
// between a seed and a finding, and delta debugging down to the edits a
// fault needs.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "tests/vm/fuzz/byte_edits.h"
#include "tests/vm/fuzz/delta_debugging.h"

namespace tarvelo::fuzz {
namespace {

std::vector<std::uint8_t> bytes(const std::string& s) { return {s.begin(), s.end()}; }

Changes all(std::size_t n) {
    Changes c(n);
    for (std::size_t i = 0; i < n; ++i) c[i] = i;
    return c;
}

TEST(ByteEdits, AllOfThemTurnTheSeedIntoTheFinding) {
    const struct {
        const char* from;
        const char* to;
        std::size_t edits;
    } cases[] = {
        {"abcdef", "abcdef", 0},
        {"abcdef", "abXdeY", 2},              // in place
        {"abcdefgh", "abcXdefgh", 1},         // one inserted
        {"abcdefgh", "abdefgh", 1},           // one deleted
        {"abcdefghij", "aXcdefgYhij", 2},     // replaced, and one inserted further on
        {"abcdefghij", "abc", 7},             // cut
        {"", "abc", 3},
        {"abcdefghij", "bcdefghijQ", 2},      // moved by one: the front deleted, one appended
    };
    for (const auto& c : cases) {
        const auto from = bytes(c.from), to = bytes(c.to);
        const std::vector<ByteEdit> edits = edits_between(from, to);
        EXPECT_EQ(edits.size(), c.edits) << c.from << " -> " << c.to;
        EXPECT_EQ(apply_edits(from, edits, all(edits.size())), to) << c.from << " -> " << c.to;
    }
}

TEST(ByteEdits, ASubsetAppliesAlone) {
    const auto from = bytes("abcdefghij");
    const std::vector<ByteEdit> edits = edits_between(from, bytes("aXcdefgYhij"));
    ASSERT_EQ(edits.size(), 2u);
    EXPECT_EQ(apply_edits(from, edits, {0}), bytes("aXcdefghij"));
    EXPECT_EQ(apply_edits(from, edits, {1}), bytes("abcdefgYhij"));
    EXPECT_EQ(apply_edits(from, edits, {}), from);
}

TEST(ByteEdits, FarApartFilesAreComparedByteForByte) {
    const auto from = bytes("abcdefgh"), to = bytes("hgfedcbaXY");
    const std::vector<ByteEdit> edits = edits_between(from, to, 2);
    EXPECT_EQ(apply_edits(from, edits, all(edits.size())), to);
}

TEST(DeltaDebugging, KeepsExactlyTheChangesTheFaultNeeds) {
    const struct {
        std::size_t count;
        std::set<std::size_t> needed;
    } cases[] = {
        {1, {0}},
        {20, {7}},
        {20, {3, 17}},
        {33, {0, 1, 2, 32}},
        {64, {10, 11, 12, 13, 40}},
    };
    for (const auto& c : cases) {
        std::size_t batches = 0;
        const FailsFirst fails = [&](const std::vector<Changes>& candidates) {
            ++batches;
            for (std::size_t i = 0; i < candidates.size(); ++i) {
                const std::set<std::size_t> has(candidates[i].begin(), candidates[i].end());
                bool all_there = true;
                for (std::size_t n : c.needed) all_there = all_there && has.count(n) != 0;
                if (all_there) return static_cast<int>(i);
            }
            return -1;
        };
        const Changes got = minimal_failing_changes(c.count, fails);
        EXPECT_EQ(std::set<std::size_t>(got.begin(), got.end()), c.needed) << c.count;
        EXPECT_LE(batches, 4 * c.count) << c.count;
    }
}

}  // namespace
}  // namespace tarvelo::fuzz
