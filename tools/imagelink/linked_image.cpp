#include "tools/imagelink/linked_image.h"

#include <stdexcept>

#include "vm/model/image_format.h"

namespace tarvelo::imagelink {

std::uint32_t LinkedImage::label(const std::string& name) const {
    for (const ImageLabel& l : labels)
        if (l.name == name) return l.offset;
    throw std::out_of_range("no image label " + name);
}

bool LinkedImage::has_label(const std::string& name) const {
    for (const ImageLabel& l : labels)
        if (l.name == name) return true;
    return false;
}

std::map<std::string, std::uint32_t> LinkedImage::placeholder_addresses(
    const std::map<std::string, std::uint32_t>& given) const {
    std::map<std::string, std::uint32_t> out = given;
    std::uint32_t next = 0xF0000000u;
    for (const std::string& s : externals) {
        if (out.count(s)) continue;
        out[s] = next;
        next += 16;
    }
    for (const Relocation& r : relocations) {
        if (!r.external || out.count(r.symbol)) continue;
        out[r.symbol] = next;
        next += 16;
    }
    return out;
}

std::vector<std::uint8_t> LinkedImage::materialize(std::uint32_t base,
                                                   const std::map<std::string, std::uint32_t>& given) const {
    std::vector<std::uint8_t> out = bytes;
    const auto addresses = placeholder_addresses(given);
    for (const Relocation& r : relocations) {
        const std::uint32_t v = r.external ? addresses.at(r.symbol) + static_cast<std::uint32_t>(r.addend) : base + r.target;
        image::write_u32(out.data() + r.at, v);
    }
    return out;
}

}  // namespace tarvelo::imagelink
