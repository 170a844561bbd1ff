#include "tools/imagelink/method_record_writer.h"

#include "tools/imagelink/link_error.h"
#include "vm/model/method_record.h"

namespace tarvelo::imagelink {

MethodSpan write_method_record(ModuleOutput& out, Method& m) {
    out.align(image::kMethodAlignment);
    m.record_offset = out.pos();
    const std::uint32_t method = out.pos() + image::kHandlerEntrySize * static_cast<std::uint32_t>(m.handler_table.size());
    const std::uint32_t code = method + m.header.code_offset();
    for (std::size_t k = m.handler_table.size(); k-- > 0;) {
        const ResolvedHandler& h = m.handler_table[k];
        if (h.catch_type) out.type_word(h.catch_type, m.where);
        else out.u32(0);
        for (const std::uint32_t at : {code + h.start, code + h.end, code + h.target}) out.ref([at] { return at; });
    }
    m.offset = out.pos();
    const Type* owner = m.owner;
    out.ref([owner] { return owner->offset; });
    if (m.header.compact) {
        out.u8(image::encode_compact_header(m.header));
    } else {
        std::uint8_t h[6];
        image::encode_full_header(m.header, h);
        for (std::uint8_t b : h) out.u8(b);
    }
    if (out.pos() != code) fail(m.where, "internal: method code misplaced");
    out.append(m.code_bytes);
    for (const CodeFixup& f : m.fixups) out.code_reference(code + f.at, f.ref, m);
    return {m.record_offset, m.offset, code, out.pos(), m.display_name()};
}

}  // namespace tarvelo::imagelink
