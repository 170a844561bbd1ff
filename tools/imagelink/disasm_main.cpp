// tarvelo-disasm: a listing of an image's methods, either linked from its
// source in memory or read from a firmware executable.
#include <fstream>
#include <iostream>
#include <cstring>
#include <sstream>

#include "tools/imagelink/asm_writer.h"
#include "tools/imagelink/disassembler.h"
#include "tools/imagelink/elf_file.h"
#include "tools/imagelink/image_view.h"
#include "tools/imagelink/linker.h"
#include "tools/imagelink/text_parser.h"

using namespace tarvelo::imagelink;

static int usage() {
    std::cerr << "usage: tarvelo-disasm IMAGE.tvi [-I DIR]...\n"
                 "       tarvelo-disasm --elf FIRMWARE [--map IMAGE.map]\n";
    return 2;
}

static int from_elf(const std::string& elf_path, const std::string& map_path) {
    ElfFile elf;
    std::string why;
    if (!elf.load(elf_path, &why)) { std::cerr << why << "\n"; return 1; }
    auto sym = [&](const char* n) -> std::uint32_t { auto v = elf.symbol(n); return v ? static_cast<std::uint32_t>(*v) : 0; };
    const std::uint32_t start = sym("_java_vornsection_header_start"), end = sym("_java_vornsection_end");
    if (!start || end <= start) { std::cerr << elf_path << ": no application image\n"; return 1; }
    std::vector<std::uint8_t> bytes;
    if (!elf.read(start, end - start, bytes)) { std::cerr << elf_path << ": cannot read the image\n"; return 1; }
    LinkedImage map;
    if (!map_path.empty()) {
        std::ifstream in(map_path);
        std::stringstream ss;
        ss << in.rdbuf();
        if (!in || !read_map(ss.str(), map, &why)) { std::cerr << map_path << ": " << why << "\n"; return 1; }
    }
    // Methods from the index section; names from the map when given.
    std::vector<std::uint8_t> index;
    const std::uint32_t is = sym("_tarvelo_method_index_start"), ie = sym("_tarvelo_method_index_end");
    if (!elf.read(is, ie - is, index)) { std::cerr << elf_path << ": no method index\n"; return 1; }
    std::vector<MethodSpan> methods;
    for (std::size_t k = 0; k + 16 <= index.size(); k += 16) {
        MethodSpan m;
        std::memcpy(&m.record, &index[k], 4);
        std::memcpy(&m.method, &index[k + 4], 4);
        std::memcpy(&m.code, &index[k + 8], 4);
        std::memcpy(&m.code_end, &index[k + 12], 4);
        for (const MethodSpan& named : map.methods)
            if (named.method + start == m.method) m.name = named.name;
        if (m.name.empty()) {
            std::ostringstream n;
            n << "method@0x" << std::hex << m.method;
            m.name = n.str();
        }
        methods.push_back(m);
    }
    ImageRegions r;
    r.types_start = sym("_java_header_types_start");
    r.concrete_end = sym("_java_header_concretetypes_end");
    r.types_end = sym("_java_header_types_end");
    r.addresses_start = sym("_java_kernel_addresses_table_start");
    r.addresses_end = sym("_java_kernel_addresses_table_end");
    ImageView view(bytes.data(), start, end - start, r, methods);
    SymbolTable symbols = symbols_of(map, start, {});
    std::cout << disassemble(view, symbols);
    return 0;
}

int main(int argc, char** argv) {
    std::string input, elf, map;
    std::vector<std::string> includes;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string { if (i + 1 >= argc) std::exit(usage()); return argv[++i]; };
        if (a == "-I") includes.push_back(value());
        else if (a == "--elf") elf = value();
        else if (a == "--map") map = value();
        else if (!a.empty() && a[0] == '-') return usage();
        else input = a;
    }
    if (!elf.empty()) return from_elf(elf, map);
    if (input.empty()) return usage();
    try {
        Program program;
        ParseOptions po;
        po.include_dirs = includes;
        parse_file(program, input, po);
        const LinkedImage image = link_program(program, false);
        const auto bytes = image.materialize(kVerifyBase);
        std::cout << disassemble(view_of(image, bytes, kVerifyBase),
                                 symbols_of(image, kVerifyBase, image.placeholder_addresses()));
        return 0;
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
}
