#include "tools/imagelink/shared_interface_layout.h"

#include <string>

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

std::uint8_t shared_transfer_kind(const JavaType& t) { return t.is_ref() ? 3 : 0; }

std::uint32_t write_shared_records(const Type& i, const SharedRecordSink& out,
                                   std::map<const Method*, std::uint32_t>& methods) {
    auto align4 = [&] { while (out.pos() % 4) out.u8(0); };
    align4();
    const std::uint32_t at = out.pos();
    out.u32(0);
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
        out.u8(shared_transfer_kind(m->ret));
        for (const Param& p : m->params) out.u8(shared_transfer_kind(p.type));
    }
    align4();
    return at;
}

}  // namespace tarvelo::imagelink
