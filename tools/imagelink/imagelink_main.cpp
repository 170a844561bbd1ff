// tarvelo-imagelink: links an image source into assembler source for the
// firmware build.
#include <iostream>

#include "tools/imagelink/application_builder.h"
#include "tools/imagelink/linker.h"
#include "tools/imagelink/tool_support.h"

using namespace tarvelo::imagelink;

namespace {

const ToolInfo kTool = {
    "tarvelo-imagelink",
    "usage: tarvelo-imagelink INPUT.tvi -o OUTPUT.S [-I DIR]... [-D SYMBOL=VALUE]... [--weak-externals]\n"
    "                         [--map FILE] [--listing FILE] [--depfile FILE] [--no-verify]\n"
    "       tarvelo-imagelink KERNEL.tvi --application APP.tvi -o APP.tvf [-I DIR]... [--map FILE] [--depfile FILE]",
    {
        {"-o FILE", "write the image as GNU assembler source to FILE"},
        {"-I DIR", "look for included files in DIR too (after the including file's directory)"},
        {"-D SYMBOL=VALUE", "set a link-time configuration value (an unsigned 32-bit number; wins over .config)"},
        {"--weak-externals", "let natives and inline routines the firmware lacks resolve to 0"},
        {"--map FILE", "write the image map, or the application file's (for tarvelo-symbolize and tarvelo-disasm)"},
        {"--listing FILE", "write a disassembly of every method"},
        {"--depfile FILE", "write the files the output depends on, in make's form (needs -o or --map)"},
        {"--application APP.tvi", "link APP.tvi against the kernel image INPUT.tvi into an application file (-o)"},
        {"--no-verify", "skip the verification of the linked image (for experiments only)"},
        {"--help", "show this help and exit"},
    },
};

}  // namespace

int main(int argc, char** argv) {
    LinkOptions o;
    std::string application;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") return show_help(kTool);
        const bool takes_value = a == "-o" || a == "-I" || a == "-D" || a == "--map" || a == "--listing" || a == "--depfile" ||
                                 a == "--application";
        if (takes_value && i + 1 >= argc) return bad_usage(kTool, "option " + a + " needs a value");
        if (a == "-o") o.output = argv[++i];
        else if (a == "-I") o.include_dirs.push_back(argv[++i]);
        else if (a == "--application") application = argv[++i];
        else if (a == "--map") o.map = argv[++i];
        else if (a == "--listing") o.listing = argv[++i];
        else if (a == "--depfile") o.depfile = argv[++i];
        else if (a == "--weak-externals") o.weak_externals = true;
        else if (a == "--no-verify") o.verify = false;
        else if (a == "-D") {
            const std::string d = argv[++i];
            const auto eq = d.find('=');
            if (eq == std::string::npos || eq == 0) return bad_usage(kTool, "-D " + d + ": expected SYMBOL=VALUE");
            std::uint32_t v = 0;
            std::string why;
            // The same values .config takes: unsigned, at most 32 bits.
            if (!parse_u32(d.substr(eq + 1), v, &why))
                return bad_usage(kTool, "-D " + d + ": '" + d.substr(eq + 1) + "' is " + why);
            o.config[d.substr(0, eq)] = v;
        } else if (!a.empty() && a[0] == '-') {
            return bad_usage(kTool, "unknown option '" + a + "'");
        } else if (o.input.empty()) {
            o.input = a;
        } else {
            return bad_usage(kTool, "a second input '" + a + "' (one image source per link)");
        }
    }
    if (o.input.empty()) return bad_usage(kTool, "no input file");
    if (!application.empty()) {
        if (o.output.empty()) return bad_usage(kTool, "no output: give -o for the application file");
        return run_application_linker(o, application, std::cerr);
    }
    if (o.output.empty() && o.map.empty() && o.listing.empty()) return bad_usage(kTool, "no output: give -o, --map or --listing");
    return run_linker(o, std::cerr);
}
