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

constexpr const char* kTool = "tarvelo-disasm";

const char* const kUsage =
    "usage: tarvelo-disasm IMAGE.tvi [-I DIR]...\n"
    "       tarvelo-disasm --elf FIRMWARE [--map IMAGE.map]";

const std::vector<OptionHelp> kOptions = {
    {"IMAGE.tvi", "link the image source in memory and list its methods"},
    {"-I DIR", "look for included files in DIR too"},
    {"--elf FIRMWARE", "list the methods of the image linked into a firmware executable"},
    {"--map FILE", "name the methods of --elf from the image's map"},
    {"--help", "show this help and exit"},
};

int bad_usage(const std::string& why) {
    report_error(std::cerr, kTool, why);
    std::cerr << kUsage << "\n(tarvelo-disasm --help lists the options)\n";
    return 2;
}

std::string from_elf(const std::string& elf_path, const std::string& map_path) {
    ElfFile elf;
    std::string why;
    if (!elf.load(elf_path, &why)) throw ToolError(elf_path, why);
    auto sym = [&](const char* n) -> std::optional<std::uint64_t> { return elf.symbol(n); };
    const auto start = sym("_java_vornsection_header_start"), end = sym("_java_vornsection_end");
    const auto is = sym("_tarvelo_method_index_start"), ie = sym("_tarvelo_method_index_end");
    if (!start || !end || !is || !ie || *end <= *start || *ie < *is)
        throw ToolError(elf_path, "holds no application image (no image or method-index symbols)");
    if (*end > 0xFFFFFFFFu) throw ToolError(elf_path, "the image lies above 4 GiB");
    const auto base = static_cast<std::uint32_t>(*start), size = static_cast<std::uint32_t>(*end - *start);
    std::vector<std::uint8_t> bytes;
    if (!elf.read(base, size, bytes)) throw ToolError(elf_path, "cannot read the image's bytes");
    LinkedImage map;
    if (!map_path.empty() && !read_map(read_input_file(map_path), map, &why)) throw ToolError(map_path, why);
    // Methods from the index section; names from the map when given.
    std::vector<std::uint8_t> index;
    if (!elf.read(*is, *ie - *is, index)) throw ToolError(elf_path, "cannot read the method index");
    std::map<std::uint32_t, std::string> names;
    for (const MethodSpan& named : map.methods) names[named.method + base] = named.name;
    std::vector<MethodSpan> methods;
    for (std::size_t k = 0; k + 16 <= index.size(); k += 16) {
        MethodSpan m;
        std::memcpy(&m.record, &index[k], 4);
        std::memcpy(&m.method, &index[k + 4], 4);
        std::memcpy(&m.code, &index[k + 8], 4);
        std::memcpy(&m.code_end, &index[k + 12], 4);
        auto n = names.find(m.method);
        if (n != names.end()) {
            m.name = n->second;
        } else {
            std::ostringstream s;
            s << "method@0x" << std::hex << m.method;
            m.name = s.str();
        }
        methods.push_back(m);
    }
    auto word = [&](const char* n) -> std::uint32_t {
        const auto v = sym(n);
        return v && *v <= 0xFFFFFFFFu ? static_cast<std::uint32_t>(*v) : 0;
    };
    ImageRegions r;
    r.types_start = word("_java_header_types_start");
    r.concrete_end = word("_java_header_concretetypes_end");
    r.types_end = word("_java_header_types_end");
    r.addresses_start = word("_java_kernel_addresses_table_start");
    r.addresses_end = word("_java_kernel_addresses_table_end");
    ImageView view(bytes.data(), base, size, r, methods);
    return disassemble(view, symbols_of(map, base, {}));
}

}  // namespace

int main(int argc, char** argv) {
    std::string input, elf, map;
    std::vector<std::string> includes;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::cout << help_text(kUsage, kOptions);
            return std::cout.flush() ? 0 : 1;
        }
        const bool takes_value = a == "-I" || a == "--elf" || a == "--map";
        if (takes_value && i + 1 >= argc) return bad_usage("option " + a + " needs a value");
        if (a == "-I") includes.push_back(argv[++i]);
        else if (a == "--elf") elf = argv[++i];
        else if (a == "--map") map = argv[++i];
        else if (!a.empty() && a[0] == '-') return bad_usage("unknown option '" + a + "'");
        else if (input.empty()) input = a;
        else return bad_usage("a second input '" + a + "'");
    }
    if (!elf.empty() && !input.empty()) return bad_usage("give either an image source or --elf, not both");
    if (elf.empty() && input.empty()) return bad_usage("no input: an image source or --elf FIRMWARE");
    if (!map.empty() && elf.empty()) return bad_usage("--map goes with --elf");
    try {
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
    } catch (const LinkError& e) {
        std::cerr << e.what() << "\n";
    } catch (const ToolError& e) {
        report_error(std::cerr, e.where(), e.what());
    } catch (const std::bad_alloc&) {
        report_error(std::cerr, kTool, "out of memory");
    } catch (const std::exception& e) {
        report_error(std::cerr, kTool, e.what());
    }
    return 1;
}
