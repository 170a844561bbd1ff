// Links small image sources with the runtime prelude for the tests, and
// looks methods and their code up in the result.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tools/imagelink/decoder.h"
#include "tools/imagelink/image_view.h"
#include "tools/imagelink/linker.h"

namespace tarvelo::imagelink::testing {

// The prelude and a main, followed by `body`.
inline std::string with_prelude(const std::string& body) {
    return ".include \"runtime.tvi\"\n"
           ".main test.Main.main\n"
           ".class test.Main\n"
           "    .method static void main(java.lang.String[] args)\n"
           "        return\n"
           "    .end\n"
           ".end\n" +
           body;
}

// A linked image, materialized at the verification base, with a view.
struct Linked {
    LinkedImage image;
    std::vector<std::uint8_t> bytes;
    ImageView view;

    const MethodSpan& method(const std::string& name) const {
        for (const MethodSpan& m : view.methods())
            if (m.name == name) return m;
        ADD_FAILURE() << "no method " << name;
        return view.methods().front();
    }
    std::vector<std::uint8_t> code(const std::string& name) const {
        const MethodSpan& m = method(name);
        return std::vector<std::uint8_t>(view.at(m.code), view.at(m.code_end));
    }
    // The method's code decoded (a failure when it does not decode).
    std::vector<Instruction> instructions(const std::string& name) const {
        const MethodSpan& m = method(name);
        std::vector<Instruction> ins;
        std::string why;
        if (!decode_range(view, m.code, m.code_end, ins, &why)) ADD_FAILURE() << name << ": " << why;
        return ins;
    }
    std::uint32_t label(const std::string& name) const { return kVerifyBase + image.label(name); }
};

inline std::unique_ptr<Linked> link(const std::string& body) {
    auto l = std::make_unique<Linked>();
    l->image = link_text(with_prelude(body), "test.tvi", {TARVELO_PRELUDE_DIR});
    l->bytes = l->image.materialize(kVerifyBase);
    l->view = view_of(l->image, l->bytes, kVerifyBase);
    return l;
}

// The error message of linking `body`, empty when it links.
inline std::string link_error(const std::string& body) {
    try {
        link_text(with_prelude(body), "test.tvi", {TARVELO_PRELUDE_DIR});
    } catch (const LinkError& e) {
        return e.what();
    }
    return {};
}

}  // namespace tarvelo::imagelink::testing
