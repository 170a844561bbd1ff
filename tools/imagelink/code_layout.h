// Lays a method's items out and encodes them: picks for each instruction
// the shortest form whose branches reach their targets (relaxing until the
// layout is stable), pads operands to even addresses and switch tables to
// their word, trades pads for wider forms where that runs fewer of them,
// and writes the bytes with the words still to be relocated.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/imagelink/code_items.h"

namespace tarvelo::imagelink {

class CodeLayout {
public:
    // `label_item[i]`: the item that defines label i. `start`: the code's
    // offset from the 4-aligned method address (the header's length), so
    // that the residue of every address mod 4 is known before the image
    // layout. `where`: the method, for errors of no one item.
    CodeLayout(std::vector<Item>& items, const std::vector<int>& label_item, std::uint32_t start,
               const SourceLocation& where);

    std::uint32_t start() const { return start_; }

    // Widens the forms of the instructions whose branches do not reach,
    // until every one does.
    void relax();
    // Takes wider forms of earlier instructions where that spares executed
    // padding (after relax()).
    void avoid_padding();

    // Offset of label `label` from the first code byte.
    std::uint32_t label_offset(int label) const { return label_addr_[static_cast<std::size_t>(label)] - start_; }

    // The code bytes, and the words in them that refer to the image.
    void encode(std::vector<std::uint8_t>& out, std::vector<CodeFixup>& fixups) const;

private:
    std::vector<Item>& items_;
    const std::vector<int>& label_item_;
    std::uint32_t start_;
    SourceLocation where_;
    std::vector<std::uint32_t> label_addr_;

    std::uint32_t target_addr(int label, const Item& it, std::uint32_t item_end) const;
    bool fits(const Item& it) const;
    void place(std::uint32_t start);
    std::size_t first_padded_item(std::size_t from) const;
    std::size_t item_pads(const Item& it) const;
    std::vector<int> loop_depths() const;
    std::uint64_t padding_cost() const;
    void encode_part(std::uint8_t op, const Part& p, std::uint32_t a, const Item& it, std::uint32_t item_end,
                     std::vector<std::uint8_t>& out, std::vector<CodeFixup>& fixups) const;
};

}  // namespace tarvelo::imagelink
