// The verifier and the type-header validity test, on sound images and on
// copies corrupted one byte at a time.
#include <gtest/gtest.h>

#include "tests/tools/imagelink/link_helpers.h"
#include "tools/imagelink/decoder.h"
#include "tools/imagelink/disassembler.h"
#include "tools/imagelink/verifier.h"
#include "vm/core/bytecode/opcodes.h"
#include "vm/model/string_record.h"
#include "vm/model/type_record.h"

namespace tarvelo::imagelink {
namespace {

using namespace testing;
using namespace bytecode;

const char* kImage = R"(
.interface test.I
    .method void f()
.end
.end
.class abstract test.Base
.end
.class test.A extends test.Base implements test.I
    .method void f()
        return
    .end
.end
.class test.B extends test.A
    .method static int leaf(int x)
        nop
        nop
        nop
        nop
        nop
        nop
        ifeq x, zero
        const x, 5
        return
    zero:
        return
    .end
.end
.array test.A[][]
)";

// A linked image and a private copy of its bytes to corrupt.
class Verifier : public ::testing::Test {
public:
    void SetUp() override {
        linked_ = link(kImage);
        bytes_ = linked_->bytes;
        view_ = view_of(linked_->image, bytes_, kVerifyBase);
    }
    std::uint32_t sym(const char* n) const { return linked_->label(n); }
    std::uint8_t& byte(std::uint32_t addr) { return bytes_[addr - kVerifyBase]; }
    void put32(std::uint32_t addr, std::uint32_t v) { image::write_u32(&byte(addr), v); }
    bool valid(std::uint32_t a, bool inst, bool whole) const { return is_valid_type_reference(view_, a, inst, whole); }
    std::string problems() const {
        std::string all;
        for (const std::string& p : verify_image(view_)) all += p + "\n";
        return all;
    }
    std::unique_ptr<Linked> linked_;
    std::vector<std::uint8_t> bytes_;
    ImageView view_;
};

TEST_F(Verifier, SoundImagePasses) { EXPECT_EQ(problems(), ""); }

TEST_F(Verifier, TypeHeaderValidityOfSoundHeaders) {
    struct Case { const char* symbol; std::int32_t delta; bool instantiable; bool whole; bool valid; };
    const Case cases[] = {
        {"_java_Ljava_lang_Object", 0, true, true, true},
        {"_java_Ltest_B", 0, true, true, true},
        {"_java_AALtest_A", 0, true, true, true},
        {"_java_AI", 0, true, true, true},
        {"_java_Ltest_I", 0, false, true, true},
        {"_java_Ltest_I", 0, true, false, false},   // an interface is no instantiable type
        {"_java_Ltest_Base", 0, false, true, true},
        {"_java_Ltest_Base", 0, true, true, false},
        {"_java_Ltest_B", 4, false, false, false},  // misaligned
        {"_java_header_types_start", -16, false, false, false},  // before the types
        {"_java_header_types_end", 0, false, false, false},      // after them
    };
    for (const Case& c : cases)
        EXPECT_EQ(valid(sym(c.symbol) + static_cast<std::uint32_t>(c.delta), c.instantiable, c.whole), c.valid)
            << c.symbol << " " << c.delta;
}

TEST_F(Verifier, AbstractRegionRefusesInstantiableRequestsEvenWhen16Aligned) {
    // Copy the interface's header to a 16-aligned address of the abstract
    // region (the linker never places one there).
    const std::uint32_t from = sym("_java_Ltest_I");
    std::uint32_t to = (sym("_java_header_concretetypes_end") + 15) & ~15u;
    ASSERT_LE(to + 24, sym("_java_header_types_end"));
    std::vector<std::uint8_t> header(view_.at(from), view_.at(from) + 24);
    for (std::uint32_t k = 0; k < 24; ++k) byte(to + k) = header[k];
    EXPECT_TRUE(valid(to, false, true));
    EXPECT_FALSE(valid(to, true, false));
}

TEST_F(Verifier, CorruptTypeHeadersAreRefused) {
    const std::uint32_t b = sym("_java_Ltest_B"), a = sym("_java_Ltest_A"), arr = sym("_java_AALtest_A");
    struct Case {
        const char* what;
        std::function<void(Verifier&)> corrupt;
        std::uint32_t address;
        bool shallow_valid;  // without the whole hierarchy
    };
    const Case cases[] = {
        {"header of another type", [&](Verifier& t) { t.put32(b, t.view_.u32(t.sym("_java_main_thread_name"))); }, b, false},
        {"owned by an application", [&](Verifier& t) { t.put32(b + 4, 0x1001); }, b, false},
        {"depth 0 but not Object", [&](Verifier& t) { t.byte(b + image::kTypeDepthOffset) = 0; }, b, false},
        {"array and interface", [&](Verifier& t) { t.byte(arr + image::kTypeFlagsOffset) |= image::kTypeInterface; }, arr, false},
        {"ancestor at the wrong depth",
         [&](Verifier& t) { t.put32(t.view_.u32(b + image::kClassHierarchyOffset), a); }, b, true},
        {"ancestor that is an interface",
         [&](Verifier& t) { t.put32(t.view_.u32(b + image::kClassHierarchyOffset) + 4, t.sym("_java_Ltest_I")); }, b, true},
        {"element outside the types",
         [&](Verifier& t) { t.put32(t.view_.u32(arr + image::kArrayElementOffset) + image::kArrayElementOffset, 0x1234); }, arr, true},
    };
    for (const Case& c : cases) {
        SetUp();
        c.corrupt(*this);
        EXPECT_FALSE(valid(c.address, false, true)) << c.what;
        EXPECT_EQ(valid(c.address, false, false), c.shallow_valid) << c.what;
        EXPECT_NE(problems(), "") << c.what;
    }
}

TEST_F(Verifier, CorruptCodeIsReported) {
    const MethodSpan& m = linked_->method("test.B.leaf(I)I");
    const std::uint32_t c = m.code;  // odd: a one-byte header
    ASSERT_EQ(c % 2, 1u);
    struct Case { const char* what; std::function<void(Verifier&)> corrupt; const char* message; };
    const Case cases[] = {
        {"no opcode", [&](Verifier& t) { t.byte(c) = 0xff; }, "is not an opcode"},
        {"call in a leaf", [&](Verifier& t) {
             t.byte(c) = OPinvokestatic_0;
             t.put32(c + 1, t.linked_->method("test.A.f()V").method);
         }, "one-byte header"},
        {"misaligned operand", [&](Verifier& t) { t.byte(c + 1) = OPgoto16; t.byte(c + 2) = 0; t.byte(c + 3) = 0; }, "odd address"},
        {"branch into an instruction", [&](Verifier& t) { t.byte(c + 8) += 1; }, "is not an instruction"},
        {"register outside the frame", [&](Verifier& t) { t.byte(c + 7) = 100; }, "outside the frame"},
        {"frame record as operand", [&](Verifier& t) { t.byte(c + 7) = 2; }, "frame record"},
        {"code overruns the method", [&](Verifier& t) { t.byte(c + 9) = OPconst_i32; }, "truncated"},
        {"backward branch going forward", [&](Verifier& t) {
             t.byte(c) = OPgoto8_back;
             t.byte(c + 1) = 0;  // the next instruction, not an earlier one
         }, "wrong direction"},
    };
    for (const Case& k : cases) {
        SetUp();
        k.corrupt(*this);
        const std::string p = problems();
        EXPECT_NE(p.find(k.message), std::string::npos) << k.what << ":\n" << p;
    }
}

// A call's bases are checked as bases (a primitive base at most 0, a
// reference base up to one past the window), its other registers as the
// registers it reads, wherever the opcode table puts them.
TEST_F(Verifier, CallBasesAreCheckedWhereTheOpcodeTablePutsThem) {
    const std::uint32_t c = linked_->method("test.B.leaf(I)I").code;  // odd: a one-byte header
    ASSERT_EQ(c % 2, 1u);
    struct Case { const char* what; std::uint32_t at; std::vector<std::uint8_t> code; const char* message; };
    const Case cases[] = {
        // PAh: bases first.
        {"invokevirtual, primitive base above 0", c, {OPinvokevirtual, 1, 0, 0, 0}, "primitive call base above the frame"},
        {"invokevirtual, reference base far above", c, {OPinvokevirtual, 0, 100, 0, 0}, "register r100 outside the reference window"},
        // rWHPA: a register read, then the bases last.
        {"invokeindirect, primitive base above 0", c + 1, {OPinvokeindirect, 5, 0, 0, 0, 0, 0, 0, 1, 0},
         "primitive call base above the frame"},
        {"invokeindirect, index register outside the frame", c + 1, {OPinvokeindirect, 100, 0, 0, 0, 0, 0, 0, 0, 0},
         "register p100 outside the frame"},
        {"invokeindirect, reference base far above", c + 1, {OPinvokeindirect, 5, 0, 0, 0, 0, 0, 0, 0, 100},
         "register r100 outside the reference window"},
    };
    for (const Case& k : cases) {
        SetUp();
        for (std::size_t i = 0; i < k.code.size(); ++i) byte(k.at + static_cast<std::uint32_t>(i)) = k.code[i];
        const std::string p = problems();
        EXPECT_NE(p.find(k.message), std::string::npos) << k.what << ":\n" << p;
    }
}

// Corrupt images are input too: the verifier reports, never reads outside.
TEST_F(Verifier, SurvivesCorruptionAnywhere) {
    std::uint32_t seed = 12345;
    auto next = [&] { seed = seed * 1103515245u + 12345u; return seed >> 8; };
    for (int round = 0; round < 300; ++round) {
        bytes_ = linked_->bytes;
        view_ = view_of(linked_->image, bytes_, kVerifyBase);
        for (int k = 0; k < 4; ++k) bytes_[next() % bytes_.size()] = static_cast<std::uint8_t>(next());
        (void)verify_image(view_);
        for (std::uint32_t a = sym("_java_header_types_start"); a < sym("_java_header_types_end"); a += 4)
            (void)valid(a, false, true);
    }
}

// The method index is input too when it comes from a firmware file: spans
// whose parts are out of order, or a header whose handler entries would lie
// below the record, are reported by the verifier and listed by the
// disassembler without a read outside the image. The view holds only the
// bytes from the method's record on, in a buffer of their own.
TEST_F(Verifier, InconsistentMethodSpansAreReadWithinTheImage) {
    const MethodSpan& m = linked_->method("test.B.leaf(I)I");
    std::vector<std::uint8_t> own(linked_->bytes.begin() + (m.record - kVerifyBase), linked_->bytes.end());
    auto view_from_record = [&](const MethodSpan& span) {
        return ImageView(own.data(), m.record, static_cast<std::uint32_t>(own.size()), view_.regions(), {span});
    };
    struct Case { const char* what; MethodSpan span; std::uint8_t header; };
    const std::uint32_t far = m.record + 0x10000000u;
    const Case cases[] = {
        {"class word far beyond the code", {m.record, far, m.code, m.code_end, "x"}, 0},
        {"code before the class word", {m.record, m.code, m.method, m.code_end, "x"}, 0},
        {"class word before the record", {m.record, m.record - 0x1000, m.code, m.code_end, "x"}, 0},
        {"63 handler entries below the record", {m.record, m.method, m.method + 10, m.code_end, "x"}, 0x3F},
    };
    for (const Case& c : cases) {
        const std::uint8_t saved = own[m.method + 4 - m.record];
        if (c.header) own[m.method + 4 - m.record] = c.header;
        const ImageView v = view_from_record(c.span);
        EXPECT_FALSE(verify_method(v, v.methods().front()).empty()) << c.what;
        (void)disassemble_method(v, v.methods().front(), SymbolTable{});
        own[m.method + 4 - m.record] = saved;
    }
}

// A firmware's method index may place a record at the very end of the
// image with a full-header byte: the header's six bytes are not read before
// the span is known to hold them. The buffer ends with the image, so a read
// past it is a heap overflow the sanitizer build reports.
TEST_F(Verifier, FullHeaderByteAtTheImagesEndIsNotDecoded) {
    const MethodSpan& m = linked_->method("test.B.leaf(I)I");
    std::vector<std::uint8_t> own(linked_->bytes.begin() + (m.record - kVerifyBase),
                                  linked_->bytes.begin() + (m.method + image::kCompactCodeOffset - kVerifyBase));
    own.back() = 0x00;  // header byte: the full form, no handlers
    const MethodSpan span{m.record, m.method, m.method + image::kCompactCodeOffset, m.method + image::kCompactCodeOffset, "x"};
    const ImageView v(own.data(), m.record, static_cast<std::uint32_t>(own.size()), view_.regions(), {span});
    std::string why;
    EXPECT_FALSE(method_span_readable(v, v.methods().front(), &why));
    EXPECT_FALSE(verify_method(v, v.methods().front()).empty());
    EXPECT_NE(disassemble_method(v, v.methods().front(), SymbolTable{}).find("header"), std::string::npos);
}

// Switch tables whose entry count is corrupt: lengths are computed in 64
// bits and every table is bounded by the code it lies in, so a count that
// doubles past 32 bits is refused at once instead of decoding 2^31 targets.
TEST_F(Verifier, SwitchTablesAreBoundedByTheCode) {
    struct Case { const char* what; std::uint8_t op; std::int32_t lo, hi; std::uint16_t count; };
    const Case cases[] = {
        {"tableswitch of 2^32 entries", OPtableswitch, INT32_MIN, INT32_MAX, 0},
        {"tableswitch of 2^31 entries", OPtableswitch, 0, INT32_MAX, 0},
        {"tableswitch past the code", OPtableswitch, 0, 100, 0},
        {"lookupswitch past the code", OPlookupswitch, 0, 0, 0xFFFF},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> code(64, 0);
        const std::uint32_t base = 0x1000;
        code[0] = c.op;
        code[1] = 5;
        const std::uint32_t p = switch_table_address(base) - base;
        if (c.op == OPtableswitch) {
            image::write_u32(&code[p], static_cast<std::uint32_t>(c.lo));
            image::write_u32(&code[p + 4], static_cast<std::uint32_t>(c.hi));
        } else {
            code[p] = static_cast<std::uint8_t>(c.count);
            code[p + 1] = static_cast<std::uint8_t>(c.count >> 8);
        }
        const ImageView v(code.data(), base, static_cast<std::uint32_t>(code.size()), ImageRegions{}, {});
        Instruction ins;
        std::string why;
        EXPECT_FALSE(decode(v, base, base + 64, ins, &why)) << c.what;
        EXPECT_LE(ins.targets.size(), 64u) << c.what;
    }
}

TEST_F(Verifier, WrongStringHashIsReported) {
    const std::uint32_t ref = sym("_java_main_thread_name");
    put32(ref + image::kStringHashField, view_.u32(ref + image::kStringHashField) + 1);
    EXPECT_NE(problems().find("hash"), std::string::npos);
}

TEST_F(Verifier, HandlerOutsideTheCodeIsReported) {
    auto l = link(R"(
.class test.H
    .method static void f()
        .catch any from a to b using h
    a:
        nop
    b:
        return
    h:
        return
    .end
.end
)");
    std::vector<std::uint8_t> bytes = l->bytes;
    const MethodSpan& m = l->method("test.H.f()V");
    // The handler pc of entry 0 one byte into the return.
    image::write_u32(&bytes[m.method - 4 - kVerifyBase], m.code_end + 1);
    const ImageView v = view_of(l->image, bytes, kVerifyBase);
    const auto p = verify_method(v, m);
    ASSERT_FALSE(p.empty());
    EXPECT_NE(p[0].find("handler"), std::string::npos);
}

// A method returning a value finds it in its result register; one that
// never writes it returns what the register held before. Refused at link
// time unless an argument arrives in that register or an instruction names
// it (a call's result, a constant, an arithmetic destination).
TEST(ResultRegister, MethodsThatNeverWriteTheirResultAreRefused) {
    struct Case { const char* what; const char* method; bool refused; };
    const Case cases[] = {
        {"int, nothing written", "static int f()\n        return", true},
        {"long, nothing written", "static long f()\n        return", true},
        {"long, the low word only", "static long f()\n        const p5, 1\n        return", true},
        {"reference, nothing written", "static java.lang.Object f()\n        .refs_below 1\n        return", true},
        {"int, a constant", "static int f()\n        const p5, 1\n        return", false},
        {"long, a constant pair", "static long f()\n        const64 p5, 1L\n        return", false},
        {"int, the argument arrives there", "static int f(int x)\n        return", false},
        {"long from an int argument, the high word only", "static long f(int x)\n        return", true},
        {"reference, the argument arrives there", "static java.lang.Object f(java.lang.Object o)\n        return", false},
        {"reference, a call's result", "static java.lang.Object f()\n        .refs_below 1\n        invokestatic test.R.g, p0, r-1\n        return", false},
        {"int, never returns", "static int f()\n        const_ref r0, null\n        athrow r0", false},
        {"void", "static void f()\n        return", false},
    };
    for (const Case& c : cases) {
        const std::string body = std::string(".class test.R\n    .method static java.lang.Object g()\n        .refs_below 1\n"
                                             "        const_ref r-1, null\n        return\n    .end\n    .method ") +
                                 c.method + "\n    .end\n.end\n";
        const std::string error = link_error(body);
        EXPECT_EQ(error.find("never writes its result register") != std::string::npos, c.refused) << c.what << "\n" << error;
    }
}

}  // namespace
}  // namespace tarvelo::imagelink
