#include "tools/imagelink/sni_arguments.h"

#include <algorithm>

#include "tools/imagelink/link_error.h"
#include "vm/core/bytecode/opcodes.h"

namespace tarvelo::imagelink {

using namespace bytecode;

SniSignature sni_signature(const Method& m) {
    SniSignature sig;
    std::vector<std::int64_t>& descriptors = sig.descriptors;
    int ncrn = 0;   // next core register, 0-3
    int nsaa = 4;   // next stack slot
    int max_slot = -1;
    bool vfp_on_stack = false;
    std::uint32_t s_used = 0;  // bitmap of the single-precision registers
    auto stack_slots = [&](int words) {
        if (words == 2 && (nsaa & 1)) ++nsaa;
        const int at = nsaa;
        nsaa += words;
        max_slot = std::max(max_slot, nsaa - 1);
        return at;
    };
    auto core_slots = [&](int words) {
        if (words == 2 && (ncrn & 1)) ++ncrn;
        if (ncrn + words <= 4) {
            const int at = ncrn;
            ncrn += words;
            max_slot = std::max(max_slot, ncrn - 1);
            return at;
        }
        ncrn = 4;  // no argument is split between registers and the stack
        return stack_slots(words);
    };
    for (const Param& par : m.params) {
        const JavaType& t = par.type;
        std::uint8_t d = 0;
        int slot = -1;
        if (t.is_ref()) {
            if (!t.is_array()) fail(m.where, "a native-interface method takes arrays, not " + t.java_name());
            d |= kSniArgRef;
            slot = core_slots(1);
        } else if (t.is_floating()) {
            d |= t.is_wide() ? kSniArg64 : 0;
            if (!vfp_on_stack) {
                if (t.is_wide()) {
                    for (int k = 0; k < 16; k += 2)
                        if (!(s_used & (3u << k))) { s_used |= 3u << k; slot = k / 2; break; }
                } else {
                    for (int k = 0; k < 16; ++k)
                        if (!(s_used & (1u << k))) { s_used |= 1u << k; slot = k; break; }
                }
            }
            if (slot >= 0) {
                d |= kSniArgFloat;
            } else {
                vfp_on_stack = true;  // no back-filling once one went to the stack
                slot = stack_slots(t.is_wide() ? 2 : 1);
            }
        } else {
            d |= t.is_wide() ? kSniArg64 : 0;
            slot = core_slots(t.is_wide() ? 2 : 1);
        }
        if (slot > 31) fail(m.where, "too many native arguments");
        descriptors.push_back(d | (slot << kSniSlotShift));
    }
    if (descriptors.size() > kSniCountMask) fail(m.where, "too many native arguments");
    sig.area_units = std::max<int>(kSniMinAreaUnits, (max_slot + 2) / 2);
    if (sig.area_units > 15) fail(m.where, "native arguments need too large an argument area");
        const JavaType& rt = m.ret;
    if (rt.is_ref()) {
        if (!rt.is_array()) fail(m.where, "a native-interface method returns an array, not " + rt.java_name());
        sig.result = kSniRef;
    } else {
        switch (rt.base) {
            case BaseKind::Void: sig.result = kSniVoid; break;
            case BaseKind::Boolean: sig.result = kSniBoolean; break;
            case BaseKind::Byte: sig.result = kSniByte; break;
            case BaseKind::Char: sig.result = kSniChar; break;
            case BaseKind::Short: sig.result = kSniShort; break;
            case BaseKind::Int: sig.result = kSniInt; break;
            case BaseKind::Long: sig.result = kSniLong; break;
            case BaseKind::Float: sig.result = kSniFloat; break;
            case BaseKind::Double: sig.result = kSniDouble; break;
            default: break;
        }
    }
    return sig;
}

}  // namespace tarvelo::imagelink
