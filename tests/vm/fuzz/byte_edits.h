// The changes that turn one file into another, byte by byte: a byte of the
// first replaced, deleted, or a byte inserted before one of its positions.
// A finding of the fuzzers is its seed with such changes; any subset of
// them applies to the seed again, which is what the reduction of a finding
// to the changes it needs tries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarvelo::fuzz {

struct ByteEdit {
    enum class Op : std::uint8_t { Replace, Delete, Insert };
    Op op = Op::Replace;
    std::uint32_t at = 0;    // position in the first file (Insert: before it)
    std::uint8_t value = 0;  // the new byte (Replace, Insert)
};

// The edits from `from` to `to`, ordered by position (inserts at one
// position in their order), from a shortest edit script of the two; a
// deleted and an inserted byte at one place become one replacement.
// Beyond `max_distance` edits of the script the files are compared byte
// for byte instead (the length's difference deleted or inserted at the end).
std::vector<ByteEdit> edits_between(const std::vector<std::uint8_t>& from, const std::vector<std::uint8_t>& to,
                                    std::size_t max_distance = 1024);

// `from` with the edits whose indexes `chosen` holds (ascending) applied.
std::vector<std::uint8_t> apply_edits(const std::vector<std::uint8_t>& from, const std::vector<ByteEdit>& edits,
                                      const std::vector<std::size_t>& chosen);

}  // namespace tarvelo::fuzz
