// tarvelo-symbolize: names the "@...@" addresses of an uncaught-exception
// trace, read from a file or the standard input.
#include <iostream>
#include <sstream>
#include <vector>

#include "tools/imagelink/asm_writer.h"
#include "tools/imagelink/elf_file.h"
#include "tools/imagelink/symbolizer.h"
#include "tools/imagelink/tool_support.h"

using namespace tarvelo::imagelink;

namespace {

const ToolInfo kTool = {
    "tarvelo-symbolize",
    "usage: tarvelo-symbolize --map IMAGE.map (--elf FIRMWARE | --base ADDRESS) [--application APP.map]... [TRACE]",
    {
        {"--map FILE", "the image's map, written by tarvelo-imagelink --map"},
        {"--application FILE", "an application file's map (tarvelo-imagelink --application ... --map), for its frames"},
        {"--elf FIRMWARE", "take the image's address from the firmware executable"},
        {"--base ADDRESS", "the image's address (0x hexadecimal or decimal), instead of --elf"},
        {"TRACE", "the trace to name (default: the standard input)"},
        {"--help", "show this help and exit"},
    },
};

}  // namespace

int main(int argc, char** argv) {
    std::string map_path, elf_path, trace;
    std::vector<std::string> application_paths;
    std::uint32_t base = 0;
    bool have_base = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") return show_help(kTool);
        const bool takes_value = a == "--map" || a == "--elf" || a == "--base" || a == "--application";
        if (takes_value && i + 1 >= argc) return bad_usage(kTool, "option " + a + " needs a value");
        if (a == "--map") {
            map_path = argv[++i];
        } else if (a == "--application") {
            application_paths.push_back(argv[++i]);
        } else if (a == "--elf") {
            elf_path = argv[++i];
        } else if (a == "--base") {
            const std::string v = argv[++i];
            std::string why;
            if (!parse_u32(v, base, &why)) return bad_usage(kTool, "--base " + v + ": '" + v + "' is " + why);
            have_base = true;
        } else if (!a.empty() && a[0] == '-') {
            return bad_usage(kTool, "unknown option '" + a + "'");
        } else if (trace.empty()) {
            trace = a;
        } else {
            return bad_usage(kTool, "a second trace '" + a + "'");
        }
    }
    if (map_path.empty()) return bad_usage(kTool, "no map: give --map IMAGE.map");
    if (elf_path.empty() == !have_base) return bad_usage(kTool, "give exactly one of --elf and --base");
    return run_reporting_errors(kTool, [&] {
        if (!elf_path.empty()) {
            ElfFile elf;
            std::string why;
            if (!elf.load(elf_path, &why)) throw ToolError(elf_path, why);
            const auto v = elf.symbol("_java_vornsection_header_start");
            if (!v || *v > 0xFFFFFFFFu) throw ToolError(elf_path, "holds no application image");
            base = static_cast<std::uint32_t>(*v);
        }
        LinkedImage map;
        std::string why;
        if (!read_map(read_input_file(map_path), map, &why)) throw ToolError(map_path, why);
        Symbolizer s(map, base);
        std::vector<LinkedImage> applications(application_paths.size());
        for (std::size_t k = 0; k < application_paths.size(); ++k) {
            if (!read_map(read_input_file(application_paths[k]), applications[k], &why))
                throw ToolError(application_paths[k], why);
            if (applications[k].application.empty()) throw ToolError(application_paths[k], "is not an application file's map");
            s.add_application(applications[k]);
        }
        std::istringstream file;
        if (!trace.empty()) file.str(read_input_file(trace, true));
        std::istream& src = trace.empty() ? std::cin : file;
        std::string line, out;
        while (std::getline(src, line)) {
            out += s.line(line);
            out += '\n';
            if (out.size() >= 65536) {
                write_stdout(out);
                out.clear();
            }
        }
        if (src.bad()) throw ToolError(trace.empty() ? "<standard input>" : trace, "cannot read");
        write_stdout(out);
        return 0;
    }, std::cerr);
}
