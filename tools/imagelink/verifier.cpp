#include "tools/imagelink/verifier.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "tools/imagelink/decoder.h"
#include "vm/model/method_record.h"
#include "vm/model/string_record.h"
#include "vm/model/type_record.h"
#include "vm/model/object_header.h"

namespace tarvelo::imagelink {

using namespace bytecode;

namespace {

std::string hex(std::uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%x", v);
    return b;
}

bool valid_type(const ImageView& v, std::uint32_t a, bool instantiable, bool whole, int depth_guard);

bool valid_type(const ImageView& v, std::uint32_t a, bool instantiable, bool whole, int depth_guard) {
    const ImageRegions& r = v.regions();
    if (depth_guard > 300) return false;
    // 1. Inside the types region.
    if (a < r.types_start || a >= r.types_end || !v.contains(a, image::kAbstractHeaderSize)) return false;
    // 2. Alignment.
    if (a < r.concrete_end) {
        if (a % image::kRomAlignment) return false;
    } else {
        if (a % 4 || instantiable) return false;
    }
    // 3. An object of type java.lang.Class, owned by the kernel.
    const std::uint32_t header = v.u32(a);
    const std::uint32_t owner = v.u32(a + image::kTypeOwnerOffset);
    if (owner & memory::kOwnerFeatureTypeBit) return false;
    if (memory::header_type_offset(header) + r.types_start != r.class_type) return false;
    const std::uint8_t flags = v.u8(a + image::kTypeFlagsOffset);
    // 4. Arrays.
    if (flags & image::kTypeArray) {
        if (flags & image::kTypeInterface) return false;
        if (!v.contains(a, image::kArrayTypeHeaderSize)) return false;
        std::uint32_t elem = v.u32(a + image::kArrayElementOffset);
        if (memory::is_primitive_element(elem)) return true;
        if (!whole) return true;
        for (int guard = 0; guard < 256; ++guard) {
            if (!valid_type(v, elem, false, false, depth_guard + 1)) return false;
            if (!(v.u8(elem + image::kTypeFlagsOffset) & image::kTypeArray)) return true;
            elem = v.u32(elem + image::kArrayElementOffset);
            if (memory::is_primitive_element(elem)) return true;
        }
        return false;
    }
    // 5. Interfaces.
    if (flags & image::kTypeInterface) return true;
    // 6. Classes.
    const std::uint8_t depth = v.u8(a + image::kTypeDepthOffset);
    if (depth == 0) return a == r.object_type;
    if (!whole) return true;
    const std::uint32_t table = v.u32(a + image::kClassHierarchyOffset);
    if (!v.contains(table, 4u * depth)) return false;
    for (int i = depth - 1; i >= 0; --i) {
        const std::uint32_t anc = v.u32(table + 4u * static_cast<std::uint32_t>(i));
        if (!valid_type(v, anc, false, false, depth_guard + 1)) return false;
        const std::uint8_t af = v.u8(anc + image::kTypeFlagsOffset);
        if (af & (image::kTypeArray | image::kTypeInterface)) return false;
        if (v.u8(anc + image::kTypeDepthOffset) != i) return false;
    }
    return true;
}

class MethodChecker {
public:
    MethodChecker(const ImageView& v, const MethodSpan& m, std::vector<std::string>& out) : v_(v), m_(m), out_(out) {}

    void run() {
        std::string unreadable;
        if (!method_span_readable(v_, m_, &unreadable)) return problem(m_.method, unreadable);
        if (m_.method % image::kMethodAlignment) problem(m_.method, "method record not 4-aligned");
        h_ = image::decode_method_header(v_.at(m_.method));
        if (m_.method - m_.record != image::kHandlerEntrySize * h_.handler_count)
            problem(m_.method, "the header's handler count does not match the record");
        if (m_.method + h_.code_offset() != m_.code) return problem(m_.method, "the code does not start after the header");
        if (h_.frame_words < image::kFrameRecordWords) problem(m_.method, "fewer than 5 frame words");
        if (h_.ref_base < h_.ref_args) problem(m_.method, "reference base below the reference arguments");
        if (h_.returns_ref && h_.ref_base == 0) problem(m_.method, "returns a reference but has no register for it");
        if (!valid_type(v_, v_.u32(m_.method), false, false, 0)) problem(m_.method, "the class word is no valid type header");
        std::string why;
        if (!decode_range(v_, m_.code, m_.code_end, code_, &why)) return problem(m_.code, why);
        // A method without an instruction would run into whatever follows it.
        if (code_.empty()) return problem(m_.code, "no instruction: control runs off the end of the method");
        for (const Instruction& i : code_) starts_.insert(i.address);
        for (const Instruction& i : code_) check(i);
        if (!code_.empty() && !ends_flow(code_.back().info().kind) && code_.back().info().kind != OpKind::ThreadBottom &&
            !returns_by_routine(code_.back()))
            problem(code_.back().address, "control runs off the end of the method");
        check_handlers();
        check_result_written();
    }

private:
    const ImageView& v_;
    const MethodSpan& m_;
    std::vector<std::string>& out_;
    image::MethodHeader h_;
    std::vector<Instruction> code_;
    std::set<std::uint32_t> starts_;
    // Registers some instruction names (reads and writes alike), and the
    // reference bases of calls, whose result comes back there.
    std::set<std::int64_t> prim_named_, ref_named_;

    void problem(std::uint32_t at, const std::string& what) { out_.push_back(m_.name + " at " + hex(at) + ": " + what); }

    bool boundary(std::uint32_t a) const { return starts_.count(a) > 0; }

    // The inline routine that returns and re-executes the caller's load.
    bool returns_by_routine(const Instruction& i) const {
        return i.opcode == OPnative_code &&
               v_.routine_index(static_cast<std::uint32_t>(i.operands[0].value)) ==
                   inline_routine_by_name("ON_java_lang_Thread_method_opReturnAndReexecuteOpcode_V");
    }

    void prim(const Instruction& i, std::int64_t r, int words) {
        for (int k = 0; k < words; ++k) {
            const std::int64_t x = r + k;
            prim_named_.insert(x);
            if (x >= 0 && x < static_cast<std::int64_t>(image::kFrameRecordWords))
                return problem(i.address, "register p" + std::to_string(x) + " is the frame record");
            if (x >= h_.frame_words || x < -static_cast<std::int64_t>(h_.prim_below))
                return problem(i.address, "register p" + std::to_string(x) + " outside the frame");
        }
    }
    void ref(const Instruction& i, std::int64_t r, bool one_past = false) {
        ref_named_.insert(r);
        const std::int64_t hi = h_.refs_above + (one_past ? 0 : -1);
        if (r < -static_cast<std::int64_t>(h_.ref_base) || r > hi)
            problem(i.address, "register r" + std::to_string(r) + " outside the reference window");
    }
    void reg(const Instruction& i, Window w, std::int64_t r) {
        if (w == Window::Ref) ref(i, r);
        else if (w == Window::Pair) prim(i, r, 2);
        else if (w == Window::Prim) prim(i, r, 1);
    }

    void check(const Instruction& i) {
        const OpcodeInfo& info = i.info();
        // Aligned operands.
        for (const DecodedOperand& o : i.operands)
            if (needs_even_address(o.kind) && (o.address & 1)) problem(i.address, std::string(info.name) + ": operand at an odd address");
        if ((i.opcode == OPlookupswitch || i.opcode == OPtableswitch) && (i.table & 3))
            problem(i.address, "switch table not 4-aligned");
        // Registers.
        for (const DecodedOperand& o : i.operands) {
            if (o.call_base) {
                if (o.kind == OperandKind::RefReg) ref(i, o.value, true);
                else if (i.opcode == OPinvoke_sni ? o.value > h_.frame_words : o.value > 0)
                    problem(i.address, "primitive call base above the frame");
                continue;
            }
            if (i.opcode == OPreturn) {
                // The lowest dead register, not a write.
                const bool named = ref_named_.count(o.value) > 0;
                ref(i, o.value, true);
                if (!named) ref_named_.erase(o.value);
                continue;
            }
            switch (o.kind) {
                case OperandKind::PrimReg: case OperandKind::PairReg: case OperandKind::RefReg: reg(i, o.first, o.value); break;
                case OperandKind::Nibbles: reg(i, o.first, o.value); reg(i, o.second, o.value2); break;
                case OperandKind::FieldNibble: reg(i, o.first, o.value); break;
                default: break;
            }
        }
        implicit(i);
        // Headers agree with the code.
        if (h_.compact && (info.kind == OpKind::Invoke || info.kind == OpKind::NativeVm || info.kind == OpKind::ThreadBottom ||
                           info.kind == OpKind::Proxy))
            problem(i.address, std::string(info.name) + " in a method with a one-byte header");
        // Targets.
        for (std::uint32_t t : i.targets)
            if (t < m_.code || t >= m_.code_end || !boundary(t))
                problem(i.address, std::string(info.name) + ": target " + hex(t) + " is not an instruction of the method");
        // A backward branch goes back at least to itself (offset at least its
        // length); a forward one and a switch past themselves.
        if (is_branch(info.kind) && !i.targets.empty() &&
            (is_backward(info.kind) ? i.targets[0] > i.address : i.targets[0] < i.next()))
            problem(i.address, std::string(info.name) + ": target " + hex(i.targets[0]) + " lies in the wrong direction");
        if (i.opcode == OPlookupswitch)
            for (std::size_t k = 1; k < i.keys.size(); ++k)
                if (i.keys[k] <= i.keys[k - 1]) problem(i.address, "lookupswitch keys not in ascending order");
        operands_in_image(i);
    }

    void implicit(const Instruction& i) {
        switch (i.opcode) {
            case OPmove_ref_m1: ref(i, 0); ref(i, -1); break;
            case OPmove_ref_m2: ref(i, 0); ref(i, -2); break;
            case OPclear_p5: prim(i, 5, 1); break;
            case OPclear_pm1: prim(i, -1, 1); break;
            case OPifnull_m1: case OPifnonnull_m1: case OPnew_m1: case OPathrow_m1:
            case OPaload_int_4: case OPastore_int_4: case OPaload_ref_4:
                ref(i, -1);
                break;
            case OPastore_ref_4: ref(i, -2); break;
            case OPreturn_0: case OPreturn_m1: case OPreturn_m2: {
                // The lowest dead register, not a write.
                const std::int64_t r = i.opcode == OPreturn_0 ? 0 : i.opcode == OPreturn_m1 ? -1 : -2;
                const bool named = ref_named_.count(r) > 0;
                ref(i, r, true);
                if (!named) ref_named_.erase(r);
                break;
            }
            case OPnative_code: {
                const int idx = v_.routine_index(static_cast<std::uint32_t>(i.operands[0].value));
                const std::string letters = kInlineRoutines[idx].operands;
                for (std::size_t k = 0; k < letters.size(); ++k) {
                    if (letters[k] == 'R') ref(i, i.routine_regs[k]);
                    else prim(i, i.routine_regs[k], letters[k] == 'Q' ? 2 : 1);
                }
                break;
            }
            case OPinvoke_sni: {
                const std::uint8_t types = static_cast<std::uint8_t>(i.operands[3].value);
                if ((types >> 4) > kSniRef) problem(i.address, "OPinvoke_sni: unknown result type");
                const unsigned units = types & 0xF;
                if (units < kSniMinAreaUnits) problem(i.address, "OPinvoke_sni: argument area below 16 bytes");
                for (std::uint8_t d : i.descriptors) {
                    const unsigned slot = d >> kSniSlotShift;
                    const bool fp = (d & kSniArgFloat) != 0;
                    if (!fp && slot + ((d & kSniArg64) ? 2u : 1u) > 2 * units) problem(i.address, "OPinvoke_sni: argument outside its area");
                    if (fp && slot > ((d & kSniArg64) ? 7u : 15u)) problem(i.address, "OPinvoke_sni: no such floating-point register");
                }
                break;
            }
            default: break;
        }
    }

    // Addresses of types and methods in operands must be the right kind.
    void operands_in_image(const Instruction& i) {
        auto word = [&]() -> std::uint32_t {
            for (const DecodedOperand& o : i.operands) if (o.kind == OperandKind::U32) return static_cast<std::uint32_t>(o.value);
            return 0;
        };
        auto type_ok = [&](std::uint32_t t, bool instantiable) {
            if (!v_.contains(t)) return true;  // not an image address: nothing to check here
            return valid_type(v_, t, instantiable, true, 0);
        };
        switch (i.opcode) {
            case OPnew: case OPnew2: case OPnew_m1: {
                const std::uint32_t t = word();
                if (!type_ok(t, true) || (v_.contains(t) && (v_.u8(t + image::kTypeFlagsOffset) & image::kTypeArray)))
                    problem(i.address, "new of something that is no class with instances");
                break;
            }
            case OPnewarray1: case OPnewarray2: case OPnewarray4: case OPnewarray8: case OPmultianewarray: {
                const std::uint32_t t = word();
                if (!type_ok(t, true) || (v_.contains(t) && !(v_.u8(t + image::kTypeFlagsOffset) & image::kTypeArray)))
                    problem(i.address, "array allocation of something that is no array type");
                else if (v_.contains(t) && i.opcode != OPmultianewarray) {
                    const std::uint32_t size = memory::element_size(v_.u32(t + image::kArrayElementOffset));
                    const std::uint32_t want = i.opcode == OPnewarray1 ? 1 : i.opcode == OPnewarray2 ? 2 : i.opcode == OPnewarray4 ? 4 : 8;
                    if (size != want) problem(i.address, "array allocation with the wrong element size");
                }
                break;
            }
            case OPcheckcast: case OPinstanceof:
                if (!type_ok(word(), false)) problem(i.address, "type test against something that is no type");
                break;
            case OPinvokespecial: case OPinvokespecial_0: case OPinvokestatic: case OPinvokestatic_0: case OPthis_invokespecial: {
                const std::uint32_t target = word();
                if (!v_.method_at(target)) problem(i.address, std::string(i.info().name) + ": " + hex(target) + " is no method");
                break;
            }
            default: break;
        }
    }

    // A method that returns a value finds it in its result register: the
    // top one or two primitive words, or the reference register at the
    // window's bottom. Unless an argument arrives there, some instruction
    // must name it; else the caller receives whatever the register held.
    // The method's descriptor comes from its name ("pkg.C.m(IJ)J"); a
    // span without one, natives and proxy calls (which store the result
    // themselves) and methods that never return are not checked.
    void check_result_written() {
        const std::size_t open = m_.name.find('('), close = m_.name.find(')');
        if (open == std::string::npos || close == std::string::npos || close < open || close + 1 >= m_.name.size()) return;
        bool returns = false;
        for (const Instruction& i : code_) {
            const OpKind k = i.info().kind;
            if (k == OpKind::NativeVm || k == OpKind::NativeSni || k == OpKind::Proxy || k == OpKind::ThreadBottom) return;
            if (returns_by_routine(i)) return;
            returns |= k == OpKind::Return;
        }
        if (!returns) return;
        std::int64_t arg_words = 0;
        for (std::size_t k = open + 1; k < close; ++k) {
            const char c = m_.name[k];
            if (c == '[' || c == 'L') {
                while (k < close && m_.name[k] == '[') ++k;
                if (k < close && m_.name[k] == 'L') k = std::min(m_.name.find(';', k), close);
                continue;
            }
            arg_words += (c == 'J' || c == 'D') ? 2 : 1;
        }
        const char result = m_.name[close + 1];
        if (result == 'V') return;
        if (result == 'L' || result == '[') {
            if (h_.ref_args > 0 || h_.ref_base == 0) return;  // an argument arrives there / reported above
            const std::int64_t r = -static_cast<std::int64_t>(h_.ref_base);
            if (!ref_named_.count(r)) problem(m_.method, "returns a reference but never writes its result register r" + std::to_string(r));
            return;
        }
        const std::int64_t words = (result == 'J' || result == 'D') ? 2 : 1;
        const std::int64_t top = h_.frame_words;
        for (std::int64_t x = top - words; x < top; ++x)
            if (x < top - arg_words && !prim_named_.count(x))
                problem(m_.method, "returns a value but never writes its result register p" + std::to_string(x));
    }

    void check_handlers() {
        if (h_.handler_count && h_.refs_above < 1) problem(m_.method, "handlers need reference register 0 for the exception");
        for (std::uint32_t k = 0; k < h_.handler_count; ++k) {
            const image::HandlerEntry e = image::handler_entry(v_.at(m_.method), k);
            const std::string which = "handler " + std::to_string(k);
            if (e.start_pc >= e.end_pc) problem(m_.method, which + ": empty range");
            if (!boundary(e.start_pc)) problem(m_.method, which + ": start " + hex(e.start_pc) + " is not an instruction");
            if (!(boundary(e.end_pc) || e.end_pc == m_.code_end)) problem(m_.method, which + ": end " + hex(e.end_pc) + " is not an instruction boundary");
            if (!boundary(e.handler_pc)) problem(m_.method, which + ": handler " + hex(e.handler_pc) + " is not an instruction");
            if (e.catch_type && !valid_type(v_, e.catch_type, false, true, 0)) problem(m_.method, which + ": catch type is no valid type");
        }
    }
};

}  // namespace

bool is_valid_type_reference(const ImageView& view, std::uint32_t address, bool instantiable_only, bool whole_hierarchy) {
    return valid_type(view, address, instantiable_only, whole_hierarchy, 0);
}

std::vector<std::string> verify_method(const ImageView& view, const MethodSpan& method) {
    std::vector<std::string> out;
    MethodChecker(view, method, out).run();
    return out;
}

std::vector<std::string> verify_image(const ImageView& v) {
    std::vector<std::string> out;
    const ImageRegions& r = v.regions();
    auto problem = [&](std::uint32_t at, const std::string& what) { out.push_back("image at " + hex(at) + ": " + what); };
    if (!r.file_header || !v.contains(r.file_header, image::kFileHeaderSize)) {
        problem(r.file_header, "no file header");
        return out;
    }
    if (v.u32(r.file_header + image::kFileHeaderMagicOffset) != image::kImageMagic) problem(r.file_header, "bad magic word");
    if (r.types_start % image::kRomAlignment) problem(r.types_start, "types base not 16-aligned");
    if (!r.class_type || !r.object_type) problem(r.types_start, "java.lang.Object or java.lang.Class missing");
    // Type headers: classes and arrays in their slots, then the rest.
    std::uint32_t a = r.types_start;
    while (a < r.concrete_end) {
        if (!v.contains(a, image::kArrayTypeHeaderSize)) { problem(a, "type header truncated"); break; }
        const std::uint8_t f = v.u8(a + image::kTypeFlagsOffset);
        if (!is_valid_type_reference(v, a, true, true)) problem(a, "invalid instantiable type header");
        if (f & image::kTypeAbstract) problem(a, "abstract type among the instantiable ones");
        if (!(f & image::kTypeArray)) {
            if (!v.contains(a, image::kClassHeaderSize)) { problem(a, "class header truncated"); break; }
            const std::uint32_t size = v.u16(a + image::kClassInstanceSizeOffset);
            const std::uint32_t refs = v.u16(a + image::kClassRefBytesOffset);
            if (refs % 4 || size < refs + memory::kObjectHeaderBytes || size % 4) problem(a, "inconsistent instance size");
            if (!v.contains(v.u32(a + image::kClassVtableOffset), 4 * image::kObjectSlots)) problem(a, "no virtual method table");
            const std::uint32_t ctor = v.u32(a + image::kClassDefaultCtorOffset);
            if (ctor && !v.method_at(ctor)) problem(a, "the no-argument constructor is no method");
        }
        a += (f & image::kTypeArray) ? image::kArrayTypeSlotSize : image::kClassSlotSize;
    }
    for (a = r.concrete_end; a < r.types_end; a += image::kAbstractHeaderSize) {
        const std::uint8_t f = v.u8(a + image::kTypeFlagsOffset);
        if (!(f & image::kTypeAbstract)) problem(a, "a type without the abstract flag after the instantiable ones");
        if (!is_valid_type_reference(v, a, false, true)) problem(a, "invalid type header");
    }
    // Methods.
    if (!v.contains(r.clinits_start, r.clinits_end - r.clinits_start) || !v.contains(r.strings_start, r.strings_end - r.strings_start))
        problem(r.clinits_start, "a region lies outside the image");
    for (const MethodSpan& m : v.methods()) {
        auto p = verify_method(v, m);
        out.insert(out.end(), p.begin(), p.end());
    }
    // Class initialisers are methods.
    for (a = r.clinits_start; a + 4 <= r.clinits_end; a += 4)
        if (!v.method_at(v.u32(a))) problem(a, "class-initialiser entry is no method");
    // Interned strings.
    if (r.shared_array && v.contains(r.shared_array, 12)) {
        const std::uint32_t len = v.u32(r.shared_array + memory::kArrayLengthOffset);
        if (!v.contains(r.shared_array, 12 + 2 * std::min<std::uint32_t>(len, 0x7FFFFFF0u / 2))) {
            problem(r.shared_array, "the shared char array runs past the image");
            return out;
        }
        for (a = r.strings_start; a + image::kStringRecordSize <= r.strings_end; a += image::kStringRecordSize) {
            const std::uint32_t s = a + image::kStringRecordObjectOffset;
            if (v.u32(a) != r.shared_array) problem(a, "interned string not over the shared char array");
            if (memory::header_type_offset(v.u32(s)) + r.types_start != r.string_type) problem(a, "interned string of another type");
            const std::uint32_t off = v.u32(s + image::kStringOffsetField), n = v.u32(s + image::kStringCountField);
            if (off > len || n > len - off) { problem(a, "interned string outside the shared char array"); continue; }
            std::u16string chars;
            for (std::uint32_t k = 0; k < n; ++k) chars += static_cast<char16_t>(v.u16(r.shared_array + memory::kArrayDataOffset + 2 * (off + k)));
            if (v.u32(s + image::kStringHashField) != image::string_hash(chars.data(), chars.size())) problem(a, "interned string hash is wrong");
        }
    }
    if (!r.addresses_start || r.addresses_end - r.addresses_start < 4 * kInlineRoutineCount)
        problem(r.addresses_start, "the kernel addresses table lacks the inline routines");
    return out;
}

}  // namespace tarvelo::imagelink
