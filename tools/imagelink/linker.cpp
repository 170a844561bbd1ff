#include "tools/imagelink/linker.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "tools/imagelink/asm_writer.h"
#include "tools/imagelink/disassembler.h"
#include "tools/imagelink/image_builder.h"
#include "tools/imagelink/image_view.h"
#include "tools/imagelink/link_context.h"
#include "tools/imagelink/method_assembler.h"
#include "tools/imagelink/text_parser.h"
#include "tools/imagelink/verifier.h"
#include "vm/core/image/image_format.h"

namespace tarvelo::imagelink {

namespace fs = std::filesystem;

LinkedImage link_program(Program& program, bool verify) {
    LinkContext ctx(program);
    layout_types(ctx);
    assemble_methods(ctx);
    LinkedImage image = build_image(ctx);
    if (verify) {
        const std::vector<std::uint8_t> bytes = image.materialize(kVerifyBase);
        const ImageView view = view_of(image, bytes, kVerifyBase);
        auto report = [](const SourceLocation& where, const std::vector<std::string>& problems) {
            std::string msg = "the linked image fails verification:";
            for (std::size_t i = 0; i < problems.size() && i < 10; ++i) msg += "\n  " + problems[i];
            if (problems.size() > 10) msg += "\n  ... and " + std::to_string(problems.size() - 10) + " more";
            fail(where, msg);
        };
        // Problems of a method are reported at its declaration.
        for (Type* t : ctx.all_types())
            for (auto& m : t->methods) {
                if (!m->has_code()) continue;
                const MethodSpan* span = view.method_at(kVerifyBase + m->offset);
                if (!span) continue;
                const std::vector<std::string> problems = verify_method(view, *span);
                if (!problems.empty()) report(m->where, problems);
            }
        const std::vector<std::string> problems = verify_image(view);
        if (!problems.empty()) {
            const std::string file = program.source_files.empty() ? std::string() : program.source_files.front();
            report(SourceLocation{file, 0}, problems);
        }
    }
    return image;
}

LinkedImage link_text(const std::string& text, const std::string& file_name, const std::vector<std::string>& include_dirs) {
    Program program;
    ParseOptions po;
    po.include_dirs = include_dirs;
    parse_text(program, text, file_name, po);
    return link_program(program);
}

void write_file_atomically(const std::string& path, const std::string& content) {
    const fs::path target(path);
    const fs::path tmp = target.parent_path() / (target.filename().string() + ".tmp" + std::to_string(::getpid()));
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) throw std::runtime_error("cannot write " + tmp.string());
        out << content;
        out.close();
        if (!out) {
            std::error_code ec;
            fs::remove(tmp, ec);
            throw std::runtime_error("cannot write " + tmp.string());
        }
    }
    std::error_code ec;
    fs::rename(tmp, target, ec);
    if (ec) {
        fs::remove(tmp, ec);
        throw std::runtime_error("cannot replace " + path);
    }
}

static std::string escape_make(const std::string& p) {
    std::string out;
    for (char c : p) {
        if (c == ' ' || c == '#') out += '\\';
        if (c == '$') out += '$';
        out += c;
    }
    return out;
}

int run_linker(const LinkOptions& o, std::ostream& err) {
    try {
        Program program;
        ParseOptions po;
        po.include_dirs = o.include_dirs;
        parse_file(program, o.input, po);
        for (const auto& [name, value] : o.config) {
            bool known = false;
            for (const auto& d : image::kLinkConfigDefaults) known |= name == d.name;
            if (!known) fail(SourceLocation{"<command line>", 0}, "unknown configuration symbol '" + name + "'");
            program.config[name] = value;
        }
        if (o.weak_externals) program.weak_externals = true;
        const LinkedImage image = link_program(program, o.verify);
        // Everything is built before anything is written.
        std::vector<std::pair<std::string, std::string>> files;
        if (!o.output.empty()) files.emplace_back(o.output, write_assembler(image, o.input));
        if (!o.map.empty()) files.emplace_back(o.map, write_map(image));
        if (!o.listing.empty()) {
            const auto bytes = image.materialize(kVerifyBase);
            const auto externals = image.placeholder_addresses();
            files.emplace_back(o.listing, disassemble(view_of(image, bytes, kVerifyBase), symbols_of(image, kVerifyBase, externals)));
        }
        if (!o.depfile.empty()) {
            std::string d = escape_make(o.output.empty() ? o.map : o.output) + ":";
            for (const std::string& f : program.source_files) d += " \\\n  " + escape_make(f);
            files.emplace_back(o.depfile, d + "\n");
        }
        for (const auto& [path, content] : files) write_file_atomically(path, content);
        return 0;
    } catch (const LinkError& e) {
        err << e.what() << "\n";
        return 1;
    } catch (const std::exception& e) {
        err << "tarvelo-imagelink: error: " << e.what() << "\n";
        return 1;
    }
}

}  // namespace tarvelo::imagelink
