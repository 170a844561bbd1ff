// tarvelo-disasm: a listing of an image's methods, either linked from its
// source in memory or read from a firmware executable.
#include <cstring>
#include <iostream>
#include <sstream>

#include "tools/imagelink/asm_writer.h"
#include "tools/imagelink/disassembler.h"
#include "tools/imagelink/elf_file.h"
#include "tools/imagelink/image_view.h"
#include "tools/imagelink/linker.h"
#include "tools/imagelink/text_parser.h"
#include "tools/imagelink/tool_support.h"

using namespace tarvelo::imagelink;

namespace {

const ToolInfo kTool = {
    "tarvelo-disasm",
    "usage: tarvelo-disasm IMAGE.tvi [-I DIR]...\n"
    "       tarvelo-disasm --elf FIRMWARE [--map IMAGE.map]",
    {
        {"IMAGE.tvi", "link the image source in memory and list its methods"},
        {"-I DIR", "look for included files in DIR too"},
        {"--elf FIRMWARE", "list the methods of the image linked into a firmware executable"},
        {"--map FILE", "name the methods of --elf from the image's map"},
        {"--help", "show this help and exit"},
    },
};

std::string from_elf(const std::string& elf_path, const std::string& map_path) {
    ElfFile elf;
    std::string why;
    if (!elf.load(elf_path, &why)) throw ToolError(elf_path, why);
    LinkedImage map;
    if (!map_path.empty() && !read_map(read_input_file(map_path), map, &why)) throw ToolError(map_path, why);
    try {
        return disassemble_firmware(elf, map);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::runtime_error& e) {
        throw ToolError(elf_path, e.what());
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string input, elf, map;
    std::vector<std::string> includes;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") return show_help(kTool);
        const bool takes_value = a == "-I" || a == "--elf" || a == "--map";
        if (takes_value && i + 1 >= argc) return bad_usage(kTool, "option " + a + " needs a value");
        if (a == "-I") includes.push_back(argv[++i]);
        else if (a == "--elf") elf = argv[++i];
        else if (a == "--map") map = argv[++i];
        else if (!a.empty() && a[0] == '-') return bad_usage(kTool, "unknown option '" + a + "'");
        else if (input.empty()) input = a;
        else return bad_usage(kTool, "a second input '" + a + "'");
    }
    if (!elf.empty() && !input.empty()) return bad_usage(kTool, "give either an image source or --elf, not both");
    if (elf.empty() && input.empty()) return bad_usage(kTool, "no input: an image source or --elf FIRMWARE");
    if (!map.empty() && elf.empty()) return bad_usage(kTool, "--map goes with --elf");
    return run_reporting_errors(kTool, [&] {
        if (!elf.empty()) {
            write_stdout(from_elf(elf, map));
            return 0;
        }
        Program program;
        ParseOptions po;
        po.include_dirs = includes;
        parse_file(program, input, po);
        const LinkedImage image = link_program(program, false);
        const auto bytes = image.materialize(kVerifyBase);
        write_stdout(disassemble(view_of(image, bytes, kVerifyBase),
                                 symbols_of(image, kVerifyBase, image.placeholder_addresses())));
        return 0;
    }, std::cerr);
}
