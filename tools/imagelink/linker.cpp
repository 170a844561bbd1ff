#include "tools/imagelink/linker.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "tools/imagelink/application_builder.h"
#include "tools/imagelink/asm_writer.h"
#include "tools/imagelink/disassembler.h"
#include "tools/imagelink/image_builder.h"
#include "tools/imagelink/image_view.h"
#include "tools/imagelink/link_context.h"
#include "tools/imagelink/method_assembler.h"
#include "tools/imagelink/proxy_classes.h"
#include "tools/imagelink/text_parser.h"
#include "tools/imagelink/tool_support.h"
#include "tools/imagelink/verifier.h"
#include "vm/model/image_format.h"

namespace tarvelo::imagelink {

namespace fs = std::filesystem;

LinkedImage link_program(Program& program, bool verify) {
    add_proxy_classes(program);
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
    static const ToolInfo tool{"tarvelo-imagelink", "", {}};
    return run_reporting_errors(tool, [&] {
        if (!o.depfile.empty() && o.output.empty() && o.map.empty())
            throw ToolError("tarvelo-imagelink", "--depfile needs a target: -o or --map");
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
        // Everything is built before anything is written, and the files are
        // replaced together: never outputs of two different links.
        OutputFiles files;
        if (!o.output.empty()) files.add(o.output, write_assembler(image, o.input));
        if (!o.map.empty()) files.add(o.map, write_map(image));
        if (!o.listing.empty()) {
            const auto bytes = image.materialize(kVerifyBase);
            const auto externals = image.placeholder_addresses();
            files.add(o.listing, disassemble(view_of(image, bytes, kVerifyBase), symbols_of(image, kVerifyBase, externals)));
        }
        if (!o.depfile.empty()) {
            std::string d = escape_make(o.output.empty() ? o.map : o.output) + ":";
            for (const std::string& f : program.source_files) d += " \\\n  " + escape_make(f);
            files.add(o.depfile, d + "\n");
        }
        files.commit();
        return 0;
    }, err);
}

int run_application_linker(const LinkOptions& o, const std::string& application, std::ostream& err) {
    static const ToolInfo tool{"tarvelo-imagelink", "", {}};
    return run_reporting_errors(tool, [&] {
        ParseOptions po;
        po.include_dirs = o.include_dirs;
        std::vector<std::string> sources;
        const LinkedApplication app = link_application(o.input, application, po, &sources);
        OutputFiles files;
        files.add(o.output, std::string(app.file.begin(), app.file.end()));
        if (!o.map.empty()) files.add(o.map, write_map(app.map));
        if (!o.depfile.empty()) {
            std::string d = escape_make(o.output) + ":";
            for (const std::string& f : sources) d += " \\\n  " + escape_make(f);
            files.add(o.depfile, d + "\n");
        }
        files.commit();
        return 0;
    }, err);
}

}  // namespace tarvelo::imagelink
