// Turns the "@...@" addresses of uncaught-exception traces and stack-trace
// texts back into names: "@M:0x...@" method addresses, "@A:0x...@" methods
// without a class, "@C:0x...@" types without a name, and the instruction
// addresses (":0x...@") that follow a method. An installed application's
// method or type is preceded by its token "@F:<name in hex>:0x<base>@"; it
// is named with that application's map when one was given.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/imagelink/linked_image.h"

namespace tarvelo::imagelink {

class Symbolizer {
public:
    // `image` holds the map (methods and items) of the image linked at `base`.
    Symbolizer(const LinkedImage& image, std::uint32_t base) : image_(image), base_(base) {}

    // Adds an application file's map (its `application` names it); kept by
    // reference.
    void add_application(const LinkedImage& map) { applications_.push_back(&map); }

    // The method whose class word is at `address`; empty when none.
    std::string method_at(std::uint32_t address) const { return method_at(image_, base_, address); }
    // "method+0x12" for an instruction address; empty when outside the methods.
    std::string instruction(std::uint32_t pc) const { return instruction(image_, base_, pc); }
    // The named item at or containing `address`; empty when none.
    std::string item(std::uint32_t address) const { return item(image_, base_, address); }

    // One line of a trace with every address it can resolve named.
    std::string line(const std::string& text) const;

private:
    const LinkedImage& image_;
    std::uint32_t base_;
    std::vector<const LinkedImage*> applications_;

    static std::string method_at(const LinkedImage& map, std::uint32_t base, std::uint32_t address);
    static std::string instruction(const LinkedImage& map, std::uint32_t base, std::uint32_t pc);
    static std::string item(const LinkedImage& map, std::uint32_t base, std::uint32_t address);
    // Names the "@M", "@A" or "@C" token at `at` (and a pc after a method)
    // with `map` at `base`: appends the names to `out` and answers the index
    // after what it consumed, or 0 when it names nothing.
    static std::size_t name_token(const std::string& text, std::size_t at, const LinkedImage& map, std::uint32_t base,
                                  std::string& out);
    // The application whose token starts at `at`, its base and the index
    // after the token; null when the token is malformed or no map names it.
    const LinkedImage* application_at(const std::string& text, std::size_t at, std::uint32_t& base, std::size_t& next) const;
};

}  // namespace tarvelo::imagelink
