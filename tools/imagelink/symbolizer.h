// Turns the "@...@" addresses of uncaught-exception traces and stack-trace
// texts back into names: "@M:0x...@" method addresses, "@A:0x...@" methods
// without a class, "@C:0x...@" types without a name, and the instruction
// addresses (":0x...@") that follow a method.
#pragma once

#include <cstdint>
#include <string>

#include "tools/imagelink/linked_image.h"

namespace tarvelo::imagelink {

class Symbolizer {
public:
    // `image` holds the map (methods and items) of the image linked at `base`.
    Symbolizer(const LinkedImage& image, std::uint32_t base) : image_(image), base_(base) {}

    // The method whose class word is at `address`; empty when none.
    std::string method_at(std::uint32_t address) const;
    // "method+0x12" for an instruction address; empty when outside the methods.
    std::string instruction(std::uint32_t pc) const;
    // The named item at or containing `address`; empty when none.
    std::string item(std::uint32_t address) const;

    // One line of a trace with every address it can resolve named.
    std::string line(const std::string& text) const;

private:
    const LinkedImage& image_;
    std::uint32_t base_;
};

}  // namespace tarvelo::imagelink
