#include "tools/imagelink/shared_interface_layout.h"

#include <string>

#include "tools/imagelink/link_error.h"

namespace tarvelo::imagelink {

namespace {

// Three differently seeded FNV-1a style 64-bit hashes, little-endian.
template <std::size_t N>
std::array<std::uint8_t, N> hash_bytes(const std::string& text) {
    std::array<std::uint8_t, N> out{};
    for (std::size_t k = 0; k * 8 < N; ++k) {
        std::uint64_t h = 0xcbf29ce484222325ull ^ (0x9e3779b97f4a7c15ull * (k + 1));
        for (char c : text) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
        for (std::size_t b = 0; b < 8 && k * 8 + b < N; ++b) out[k * 8 + b] = static_cast<std::uint8_t>(h >> (8 * b));
    }
    return out;
}

std::string erased(const JavaType& t) { return t.is_ref() ? "L" : t.descriptor(); }

}  // namespace

std::array<std::uint8_t, kSharedIdentifierBytes> shared_interface_identifier(const Type& i) {
    const auto dot = i.name.rfind('.');
    return hash_bytes<kSharedIdentifierBytes>("shared:" + (dot == std::string::npos ? i.name : i.name.substr(dot + 1)));
}

std::array<std::uint8_t, kSharedSignatureBytes> shared_method_signature(const Method& m) {
    std::string text = m.name + "(";
    for (const Param& p : m.params) text += erased(p.type);
    text += ")" + (m.ret.is_void() ? std::string("V") : erased(m.ret));
    return hash_bytes<kSharedSignatureBytes>(text);
}

std::string proxy_class_name(const std::string& interface_name) { return interface_name + "$Proxy"; }

std::vector<std::uint8_t> shared_transfer_kinds(const Method& m) {
    std::vector<std::uint8_t> kinds;
    kinds.push_back(m.ret.is_ref() ? kTransferForeign : kTransferUnchanged);
    for (const Param& p : m.params) kinds.push_back(p.type.is_ref() ? kTransferForeign : kTransferUnchanged);
    auto reference_parameter = [&](const std::string& name, const SourceLocation& where) {
        for (std::size_t k = 0; k < m.params.size(); ++k) {
            if (m.params[k].name != name) continue;
            if (!m.params[k].type.is_ref()) fail(where, "'" + name + "' is a primitive: it crosses unchanged");
            return k;
        }
        fail(where, "'" + name + "' is not a parameter of " + m.display_name());
    };
    std::vector<bool> said(kinds.size(), false);
    for (const TransferDecl& x : m.transfers) {
        std::size_t slot = 0;
        if (x.value == "return") {
            if (!m.ret.is_ref()) fail(x.where, m.display_name() + " returns no reference");
        } else {
            slot = reference_parameter(x.value, x.where) + 1;
        }
        if (said[slot]) fail(x.where, "the transfer of '" + x.value + "' is given twice");
        said[slot] = true;
        if (x.kind == "unchanged") kinds[slot] = kTransferUnchanged;
        else if (x.kind == "convert") kinds[slot] = kTransferConvert;
        else if (x.kind == "foreign") kinds[slot] = kTransferForeign;
        else if (x.kind == "convert_to") {
            const std::size_t k = reference_parameter(x.parameter, x.where);
            if (slot == k + 1) fail(x.where, "'" + x.value + "' cannot hold its own class");
            if (k > 31) fail(x.where, "the class of convert_to is one of the first 32 parameters");
            kinds[slot] = static_cast<std::uint8_t>(kTransferConvertTo | (k << 3));
        } else {
            fail(x.where, "unknown transfer kind '" + x.kind + "' (unchanged, convert, convert_to, foreign)");
        }
    }
    return kinds;
}

std::uint32_t write_shared_records(const Type& i, const SharedRecordSink& out,
                                   std::map<const Method*, std::uint32_t>& methods) {
    auto align4 = [&] { while (out.pos() % 4) out.u8(0); };
    align4();
    const std::uint32_t at = out.pos();
    out.proxy_class(i);
    for (std::uint8_t b : shared_interface_identifier(i)) out.u8(b);
    for (const Method* m : i.interface_methods) {
        align4();
        methods[m] = out.pos();
        out.declared(m->ret, *m);
        out.u32(static_cast<std::uint32_t>(m->params.size()));
        out.u32(static_cast<std::uint32_t>(m->prim_arg_words()));
        for (const Param& p : m->params) out.declared(p.type, *m);
        for (std::uint8_t b : shared_method_signature(*m)) out.u8(b);
        for (int k = 0; k < 8; ++k) out.u8(0);
        for (std::uint8_t kind : shared_transfer_kinds(*m)) out.u8(kind);
    }
    align4();
    return at;
}

}  // namespace tarvelo::imagelink
