// tarvelo-rawimage: RAW image files ("TRV_IMG") from a PNG file or from a
// synthetic picture, in any engine format.
#include <algorithm>
#include <iostream>

#include "tools/imagelink/tool_support.h"
#include "tools/rawimage/png_input.h"
#include "tools/rawimage/raw_encoder.h"
#include "tools/rawimage/synthetic.h"

using namespace tarvelo::imagelink;
using namespace tarvelo::rawimage;

namespace {

const ToolInfo kTool = {
    "tarvelo-rawimage",
    "usage: tarvelo-rawimage (--png FILE | --synthetic PATTERN --size WxH) --format F -o OUT [options]",
    {
        {"--png FILE", "read the pixels of a PNG file (any colour type and depth)"},
        {"--synthetic PATTERN", "solid:AARRGGBB, gradient, checker:N or alpha-ramp"},
        {"--size WxH", "the size of a synthetic picture"},
        {"--format F", "engine format, by name (RGB565, A8RLE, LARGB8888...) or code 0..26"},
        {"--memory-width M", "row stride in the header's unit (pixels, bytes below 8 bits per pixel)"},
        {"--palette-entry N", "palette entries of 3 or 4 bytes (formats 9 and 10)"},
        {"--padding N", "bytes left between the header or palette and the pixels"},
        {"--display-flag", "set the header flag that names the display's format"},
        {"--truncate N", "drop the last N bytes (a malformed file for tests)"},
        {"-o OUT", "the RAW file to write"},
        {"--help", "show this help and exit"},
    },
};

bool parse_size(const std::string& text, std::uint32_t* w, std::uint32_t* h) {
    const auto x = text.find('x');
    if (x == std::string::npos) return false;
    std::string why;
    return parse_u32(text.substr(0, x), *w, &why) && parse_u32(text.substr(x + 1), *h, &why);
}

}  // namespace

int main(int argc, char** argv) {
    std::string png, synthetic, size, output;
    RawOptions options;
    bool format_given = false;
    std::uint32_t truncate = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") return show_help(kTool);
        if (a == "--display-flag") {
            options.display_format_flag = true;
            continue;
        }
        const bool takes_value = a == "--png" || a == "--synthetic" || a == "--size" || a == "--format" ||
                                 a == "--memory-width" || a == "--palette-entry" || a == "--padding" ||
                                 a == "--truncate" || a == "-o";
        if (!takes_value) return bad_usage(kTool, "unknown option '" + a + "'");
        if (i + 1 >= argc) return bad_usage(kTool, "option " + a + " needs a value");
        const std::string v = argv[++i];
        std::string why;
        if (a == "--png") png = v;
        else if (a == "--synthetic") synthetic = v;
        else if (a == "--size") size = v;
        else if (a == "-o") output = v;
        else if (a == "--format") {
            if (!parse_format(v, &options.format)) return bad_usage(kTool, "unknown format '" + v + "'");
            format_given = true;
        } else {
            std::uint32_t n = 0;
            if (!parse_u32(v, n, &why)) return bad_usage(kTool, a + ": " + why);
            if (a == "--memory-width") options.memory_width = n;
            else if (a == "--palette-entry") options.palette_entry_size = n;
            else if (a == "--padding") options.padding = n;
            else truncate = n;
        }
    }
    if (png.empty() == synthetic.empty()) return bad_usage(kTool, "give one of --png or --synthetic");
    if (!synthetic.empty() && size.empty()) return bad_usage(kTool, "--synthetic needs --size WxH");
    if (!format_given) return bad_usage(kTool, "no --format");
    if (output.empty()) return bad_usage(kTool, "no output file (-o)");
    std::uint32_t w = 0, h = 0;
    if (!size.empty() && !parse_size(size, &w, &h)) return bad_usage(kTool, "--size takes WxH");
    return run_reporting_errors(kTool, [&] {
        Picture picture;
        std::string error;
        if (!png.empty() && !read_png(png, &picture, &error)) throw ToolError(png, error);
        if (!synthetic.empty() && !make_synthetic(synthetic, w, h, &picture, &error)) throw ToolError(synthetic, error);
        std::vector<std::uint8_t> file = encode_raw(picture, options, &error);
        if (file.empty()) throw ToolError(kTool.name, error);
        file.resize(file.size() - std::min<std::size_t>(truncate, file.size()));
        OutputFiles out;
        out.add(output, std::string(file.begin(), file.end()));
        out.commit();
        return 0;
    }, std::cerr);
}
