// tarvelo-symbolize: names the "@...@" addresses of an uncaught-exception
// trace, read from a file or the standard input.
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include "tools/imagelink/asm_writer.h"
#include "tools/imagelink/elf_file.h"
#include "tools/imagelink/symbolizer.h"

using namespace tarvelo::imagelink;

static int usage() {
    std::cerr << "usage: tarvelo-symbolize --map IMAGE.map (--elf FIRMWARE | --base ADDRESS) [TRACE]\n";
    return 2;
}

int main(int argc, char** argv) {
    std::string map_path, elf_path, trace;
    std::uint32_t base = 0;
    bool have_base = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string { if (i + 1 >= argc) std::exit(usage()); return argv[++i]; };
        if (a == "--map") map_path = value();
        else if (a == "--elf") elf_path = value();
        else if (a == "--base") { base = static_cast<std::uint32_t>(std::strtoul(value().c_str(), nullptr, 0)); have_base = true; }
        else if (!a.empty() && a[0] == '-') return usage();
        else trace = a;
    }
    if (map_path.empty() || (elf_path.empty() && !have_base)) return usage();
    std::string why;
    if (!elf_path.empty()) {
        ElfFile elf;
        if (!elf.load(elf_path, &why)) { std::cerr << why << "\n"; return 1; }
        auto v = elf.symbol("_java_vornsection_header_start");
        if (!v) { std::cerr << elf_path << ": no application image\n"; return 1; }
        base = static_cast<std::uint32_t>(*v);
    }
    std::ifstream in(map_path);
    std::stringstream ss;
    ss << in.rdbuf();
    LinkedImage map;
    if (!in || !read_map(ss.str(), map, &why)) { std::cerr << map_path << ": " << why << "\n"; return 1; }
    Symbolizer s(map, base);
    std::ifstream file;
    if (!trace.empty()) {
        file.open(trace);
        if (!file) { std::cerr << "cannot read " << trace << "\n"; return 1; }
    }
    std::istream& src = trace.empty() ? std::cin : file;
    std::string line;
    while (std::getline(src, line)) std::cout << s.line(line) << "\n";
    return 0;
}
