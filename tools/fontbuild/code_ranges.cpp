// Code-point ranges from text, sorted and merged for the range table.
#include "tools/fontbuild/code_ranges.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace tarvelo::fontbuild {

namespace {

bool code_point(std::string t, std::uint32_t* c) {
    int base = 10;
    if (t.rfind("U+", 0) == 0 || t.rfind("u+", 0) == 0) t = t.substr(2), base = 16;
    else if (t.rfind("0x", 0) == 0 || t.rfind("0X", 0) == 0) t = t.substr(2), base = 16;
    if (t.empty() || t.size() > 8) return false;
    char* end = nullptr;
    const unsigned long v = std::strtoul(t.c_str(), &end, base);
    if (*end != '\0' || v > 0x10FFFF) return false;
    *c = static_cast<std::uint32_t>(v);
    return true;
}

}  // namespace

bool parse_ranges(const std::string& text, std::vector<CodeRange>* ranges, std::string* error) {
    if (text.empty() || text.back() == ',') {
        *error = "no code-point range in '" + text + "'";
        return false;
    }
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, ',')) {
        const auto dash = part.find('-');
        CodeRange r{};
        const bool ok = dash == std::string::npos
                            ? code_point(part, &r.first) && code_point(part, &r.last)
                            : code_point(part.substr(0, dash), &r.first) && code_point(part.substr(dash + 1), &r.last);
        if (!ok || r.first > r.last) {
            *error = "bad code-point range '" + part + "' (FIRST-LAST, each decimal, 0x... or U+..., at most U+10FFFF)";
            return false;
        }
        ranges->push_back(r);
    }
    return true;
}

std::vector<CodeRange> normalise_ranges(std::vector<CodeRange> ranges) {
    std::sort(ranges.begin(), ranges.end(), [](const CodeRange& a, const CodeRange& b) { return a.first < b.first; });
    std::vector<CodeRange> out;
    for (const CodeRange& r : ranges) {
        if (!out.empty() && r.first <= out.back().last + 1) out.back().last = std::max(out.back().last, r.last);
        else out.push_back(r);
    }
    return out;
}

}  // namespace tarvelo::fontbuild
