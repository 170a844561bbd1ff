// tarvelo-fontbuild: a stored bitmap font ("TRV_FNT") from a TrueType font,
// rasterised by FreeType at one pixel size.
#include <algorithm>
#include <iostream>

#include "tools/fontbuild/code_ranges.h"
#include "tools/fontbuild/font_writer.h"
#include "tools/fontbuild/truetype_source.h"
#include "tools/imagelink/tool_support.h"

using namespace tarvelo::imagelink;
using namespace tarvelo::fontbuild;

namespace {

const ToolInfo kTool = {
    "tarvelo-fontbuild",
    "usage: tarvelo-fontbuild FONT.ttf --size PX -o OUT [options]",
    {
        {"--size PX", "pixel size (the em height) to rasterise at"},
        {"--depth B", "bits per glyph pixel: 1 (default), 2, 4 or 8"},
        {"--range R", "code points, e.g. 0x20-0x7E,U+00A0-U+00FF (repeatable; default 0x20-0x7E)"},
        {"--version V", "font format version 6 or 7 (default 7)"},
        {"--glyph-header BITS", "glyph header fields of 8 or 16 bits (default: the smallest that fits)"},
        {"--offsets BITS", "glyph offsets of 16 or 32 bits (default: the smallest that fits)"},
        {"--bounds BYTES", "range bounds of 1, 2 or 4 bytes (default: the smallest that fits)"},
        {"--monospace", "every character advances by the widest advance"},
        {"--advance N", "monospace with an advance of N pixels"},
        {"--tab-code T", "a tab advances T + 2 space widths (0..3, default 2)"},
        {"--id N", "a font identifier (repeatable)"},
        {"--name NAME", "the font's name (default: FreeType's family and style)"},
        {"--style N", "style bits handed to the application (0..255)"},
        {"--application-byte N", "header byte 23, handed to the application (0..255)"},
        {"-o OUT", "the font file to write"},
        {"--help", "show this help and exit"},
    },
};

}  // namespace

int main(int argc, char** argv) {
    std::string input, output, name;
    bool name_given = false, monospace = false;
    std::uint32_t size = 0;
    FontLayout layout;
    std::vector<CodeRange> ranges;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") return show_help(kTool);
        if (a == "--monospace") {
            monospace = true;
            continue;
        }
        if (a.empty() || a[0] != '-') {
            if (!input.empty()) return bad_usage(kTool, "a second input '" + a + "'");
            input = a;
            continue;
        }
        static const char* const kValued[] = {"--size", "--depth", "--range", "--version", "--glyph-header",
                                              "--offsets", "--bounds", "--advance", "--tab-code", "--id",
                                              "--name", "--style", "--application-byte", "-o"};
        bool known = false;
        for (const char* k : kValued) known = known || a == k;
        if (!known) return bad_usage(kTool, "unknown option '" + a + "'");
        if (i + 1 >= argc) return bad_usage(kTool, "option " + a + " needs a value");
        const std::string v = argv[++i];
        std::string why;
        if (a == "-o") output = v;
        else if (a == "--name") name = v, name_given = true;
        else if (a == "--range") {
            if (!parse_ranges(v, &ranges, &why)) return bad_usage(kTool, why);
        } else {
            std::uint32_t n = 0;
            if (!parse_u32(v, n, &why)) return bad_usage(kTool, a + ": " + why);
            if (a == "--size") size = n;
            else if (a == "--depth") layout.depth = n;
            else if (a == "--version") layout.version = n;
            else if (a == "--glyph-header") layout.glyph_header_bits = n;
            else if (a == "--offsets") layout.offset_bits = n;
            else if (a == "--bounds") layout.bound_bytes = n;
            else if (a == "--advance") layout.monospace_advance = n, monospace = true;
            else if (a == "--tab-code") layout.tab_code = n;
            else if (a == "--id") layout.identifiers.push_back(n);
            else if (n > 255) return bad_usage(kTool, a + " takes 0..255");
            else if (a == "--style") layout.style = static_cast<std::uint8_t>(n);
            else layout.application_byte = static_cast<std::uint8_t>(n);
        }
    }
    if (input.empty()) return bad_usage(kTool, "no TrueType font given");
    if (output.empty()) return bad_usage(kTool, "no output file (-o)");
    if (size == 0) return bad_usage(kTool, "no --size");
    if (ranges.empty()) ranges.push_back({0x20, 0x7E});
    ranges = normalise_ranges(ranges);
    return run_reporting_errors(kTool, [&] {
        RasterisedFont font;
        std::string error;
        if (!rasterise(input, size, layout.depth, ranges, &font, &error)) throw ToolError(input, error);
        layout.line_height = font.line_height;
        layout.baseline = font.baseline;
        layout.space_width = font.space_width;
        if (monospace && layout.monospace_advance == 0) layout.monospace_advance = std::max(1u, font.max_advance);
        layout.name = name_given ? name : font.name;
        const std::vector<std::uint8_t> bytes = write_font(layout, ranges, font.glyphs, &error);
        if (bytes.empty()) throw ToolError(kTool.name, error);
        if (font.missing != 0)
            std::cerr << kTool.name << ": note: " << font.missing << " code points have no glyph in " << input
                      << " and get its fallback glyph\n";
        OutputFiles out;
        out.add(output, std::string(bytes.begin(), bytes.end()));
        out.commit();
        return 0;
    }, std::cerr);
}
