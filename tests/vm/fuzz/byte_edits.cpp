#include "tests/vm/fuzz/byte_edits.h"

#include <algorithm>

namespace tarvelo::fuzz {

namespace {

// Byte for byte over the common length, the rest deleted or inserted.
std::vector<ByteEdit> positional(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    std::vector<ByteEdit> out;
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i)
        if (a[i] != b[i]) out.push_back({ByteEdit::Op::Replace, static_cast<std::uint32_t>(i), b[i]});
    for (std::size_t i = common; i < a.size(); ++i) out.push_back({ByteEdit::Op::Delete, static_cast<std::uint32_t>(i), 0});
    for (std::size_t i = common; i < b.size(); ++i)
        out.push_back({ByteEdit::Op::Insert, static_cast<std::uint32_t>(a.size()), b[i]});
    return out;
}

}  // namespace

std::vector<ByteEdit> edits_between(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b,
                                    std::size_t max_distance) {
    // The common ends first: most findings change a few bytes in place.
    std::size_t prefix = 0;
    while (prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix]) ++prefix;
    std::size_t suffix = 0;
    while (suffix < a.size() - prefix && suffix < b.size() - prefix && a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix])
        ++suffix;
    const auto n = static_cast<std::ptrdiff_t>(a.size() - prefix - suffix);
    const auto m = static_cast<std::ptrdiff_t>(b.size() - prefix - suffix);

    // Myers' shortest edit script over the middle, keeping each round's
    // furthest reaches to walk the path back.
    const std::ptrdiff_t max = std::min<std::ptrdiff_t>(n + m, static_cast<std::ptrdiff_t>(max_distance));
    const std::ptrdiff_t offset = max + 1;
    std::vector<std::ptrdiff_t> v(static_cast<std::size_t>(2 * max + 3), 0);
    std::vector<std::vector<std::ptrdiff_t>> rounds;
    std::ptrdiff_t found = -1;
    for (std::ptrdiff_t d = 0; d <= max && found < 0; ++d) {
        for (std::ptrdiff_t k = -d; k <= d; k += 2) {
            std::ptrdiff_t x = (k == -d || (k != d && v[offset + k - 1] < v[offset + k + 1])) ? v[offset + k + 1]
                                                                                              : v[offset + k - 1] + 1;
            std::ptrdiff_t y = x - k;
            while (x < n && y < m && a[prefix + x] == b[prefix + y]) ++x, ++y;
            v[offset + k] = x;
            if (x >= n && y >= m) {
                found = d;
                break;
            }
        }
        rounds.push_back(v);
    }
    if (found < 0) return positional(a, b);

    // Back from the end: each round gives one deletion or insertion.
    std::vector<ByteEdit> backwards;
    std::ptrdiff_t x = n, y = m;
    for (std::ptrdiff_t d = found; d > 0; --d) {
        const std::vector<std::ptrdiff_t>& prev = rounds[static_cast<std::size_t>(d - 1)];
        const std::ptrdiff_t k = x - y;
        const bool down = k == -d || (k != d && prev[offset + k - 1] < prev[offset + k + 1]);
        const std::ptrdiff_t pk = down ? k + 1 : k - 1;
        const std::ptrdiff_t px = prev[offset + pk], py = px - pk;
        while (x > px && y > py && (down ? x > px : x > px + 1)) --x, --y;  // the diagonal
        if (down) {
            backwards.push_back({ByteEdit::Op::Insert, static_cast<std::uint32_t>(prefix + px), b[prefix + py]});
        } else {
            backwards.push_back({ByteEdit::Op::Delete, static_cast<std::uint32_t>(prefix + px), 0});
        }
        x = px, y = py;
    }
    const std::vector<ByteEdit> script(backwards.rbegin(), backwards.rend());
    // Each run of deleted bytes with the bytes inserted at its ends is
    // replacements first, then what is left of the longer side.
    std::vector<ByteEdit> out;
    for (std::size_t i = 0; i < script.size();) {
        const std::uint32_t start = script[i].at;
        std::uint32_t end = start;
        std::vector<std::uint8_t> inserted;
        for (; i < script.size() && script[i].at == end; ++i) {
            if (script[i].op == ByteEdit::Op::Delete) ++end;
            else inserted.push_back(script[i].value);
        }
        const std::uint32_t deleted = end - start;
        const std::size_t common = std::min<std::size_t>(deleted, inserted.size());
        for (std::size_t k = 0; k < common; ++k)
            out.push_back({ByteEdit::Op::Replace, static_cast<std::uint32_t>(start + k), inserted[k]});
        for (std::size_t k = common; k < deleted; ++k) out.push_back({ByteEdit::Op::Delete, static_cast<std::uint32_t>(start + k), 0});
        for (std::size_t k = common; k < inserted.size(); ++k) out.push_back({ByteEdit::Op::Insert, end, inserted[k]});
    }
    if (n == m) {
        std::vector<ByteEdit> in_place = positional(a, b);
        if (in_place.size() <= out.size()) return in_place;
    }
    return out;
}

std::vector<std::uint8_t> apply_edits(const std::vector<std::uint8_t>& from, const std::vector<ByteEdit>& edits,
                                      const std::vector<std::size_t>& chosen) {
    std::vector<std::uint8_t> out;
    out.reserve(from.size() + chosen.size());
    std::size_t next = 0;
    for (std::size_t at = 0; at <= from.size(); ++at) {
        bool keep = at < from.size();
        std::uint8_t byte = keep ? from[at] : 0;
        for (; next < chosen.size() && edits[chosen[next]].at == at; ++next) {
            const ByteEdit& e = edits[chosen[next]];
            if (e.op == ByteEdit::Op::Insert) out.push_back(e.value);
            else if (e.op == ByteEdit::Op::Delete) keep = false;
            else byte = e.value;
        }
        if (keep) out.push_back(byte);
    }
    return out;
}

}  // namespace tarvelo::fuzz
