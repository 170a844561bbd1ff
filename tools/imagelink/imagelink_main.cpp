// tarvelo-imagelink: links an image source into assembler source for the
// firmware build.
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "tools/imagelink/linker.h"

using namespace tarvelo::imagelink;

static int usage() {
    std::cerr << "usage: tarvelo-imagelink INPUT -o OUTPUT.S [-I DIR]... [-D SYMBOL=VALUE]... [--weak-externals]\n"
                 "                         [--map FILE] [--listing FILE] [--depfile FILE] [--no-verify]\n";
    return 2;
}

int main(int argc, char** argv) {
    LinkOptions o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) { usage(); std::exit(2); }
            return argv[++i];
        };
        if (a == "-o") o.output = value();
        else if (a == "-I") o.include_dirs.push_back(value());
        else if (a == "--map") o.map = value();
        else if (a == "--listing") o.listing = value();
        else if (a == "--depfile") o.depfile = value();
        else if (a == "--weak-externals") o.weak_externals = true;
        else if (a == "--no-verify") o.verify = false;
        else if (a == "-D") {
            const std::string d = value();
            const auto eq = d.find('=');
            if (eq == std::string::npos) return usage();
            char* end = nullptr;
            const unsigned long v = std::strtoul(d.c_str() + eq + 1, &end, 0);
            if (!end || *end || end == d.c_str() + eq + 1) return usage();
            o.config[d.substr(0, eq)] = static_cast<std::uint32_t>(v);
        } else if (!a.empty() && a[0] == '-') {
            return usage();
        } else if (o.input.empty()) {
            o.input = a;
        } else {
            return usage();
        }
    }
    if (o.input.empty() || (o.output.empty() && o.map.empty() && o.listing.empty())) return usage();
    return run_linker(o, std::cerr);
}
