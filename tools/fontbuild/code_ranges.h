// Code-point ranges written on a command line: "0x20-0x7E", "U+00A0-U+00FF",
// "65" or "0x41" for one code point, several joined by commas.
#pragma once

#include <string>
#include <vector>

#include "tools/fontbuild/font_writer.h"

namespace tarvelo::fontbuild {

// Appends the ranges of `text`; false with `error` set for a malformed
// range. `normalise_ranges` afterwards sorts and merges them.
bool parse_ranges(const std::string& text, std::vector<CodeRange>* ranges, std::string* error);
// Sorted, overlapping or touching ranges merged.
std::vector<CodeRange> normalise_ranges(std::vector<CodeRange> ranges);

}  // namespace tarvelo::fontbuild
