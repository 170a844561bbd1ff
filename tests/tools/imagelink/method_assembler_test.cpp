// Instruction selection, relaxation and method headers, against the
// encodings of the register bytecode.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/tools/imagelink/link_helpers.h"
#include "tools/imagelink/decoder.h"
#include "vm/core/bytecode/opcodes.h"
#include "vm/model/method_record.h"
#include "vm/core/native_call/aapcs_vfp_self_test.h"

namespace tarvelo::imagelink {
namespace {

using namespace testing;
using bytes = std::vector<std::uint8_t>;
using namespace bytecode;

TEST(MethodAssembler, MathMaxLongIsThe13BytesOfTheBytecodeExample) {
    auto l = link(R"(
.class test.Math
    .method static long max(long a, long b)
        .temps 1
        lcmp a, b, p5
        ifle p5, second
        goto done
    second:
        move64 a, b
    done:
        return
    .end
.end
)");
    EXPECT_EQ(l->code("test.Math.max(JJ)J"),
              (bytes{0x3f, 0x08, 0x06, 0x05, 0x2c, 0x05, 0x02, 0x27, 0x03, 0x03, 0x08, 0x06, 0xd0}));
    const MethodSpan& m = l->method("test.Math.max(JJ)J");
    EXPECT_EQ(l->view.u8(m.method + 4), 0x94);  // compact: 5 primitive words
    const image::MethodHeader h = image::decode_method_header(l->view.at(m.method));
    EXPECT_EQ(h.frame_words, 10);  // first argument in the pair (8, 9)
}

// A switch whose opcode byte lands at each address residue gets the
// padding that brings its table to a multiple of 4.
TEST(MethodAssembler, SwitchPaddingForEachAddressResidue) {
    for (int lead = 0; lead < 4; ++lead) {
        std::string nops;
        for (int k = 0; k < lead; ++k) nops += "        nop\n";
        auto l = link(R"(
.class test.S
    .method static int pick(int k)
)" + nops + R"(
        tableswitch k, 1, other, one, two
    one:
        const k, 10
        return
    two:
        const k, 20
        return
    other:
        const k, 0
        return
    .end
.end
)");
        const MethodSpan& m = l->method("test.S.pick(I)I");
        const std::uint32_t a = m.code + static_cast<std::uint32_t>(lead);
        ASSERT_EQ(l->view.u8(a), OPtableswitch) << lead;
        const std::uint32_t expected_pad[4] = {2, 1, 0, 3};
        const std::uint32_t pad = switch_table_address(a) - (a + 2);
        EXPECT_EQ(pad, expected_pad[a & 3]);
        for (std::uint32_t k = 0; k < pad; ++k) EXPECT_EQ(l->view.u8(a + 2 + k), 0) << "padding byte";
        Instruction ins;
        std::string why;
        ASSERT_TRUE(decode(l->view, a, m.code_end, ins, &why)) << why;
        EXPECT_EQ(ins.table % 4, 0u);
        ASSERT_EQ(ins.targets.size(), 3u);
        // Each target holds the constant its label promises.
        EXPECT_EQ(l->view.u8(ins.targets[1] + 2), 10);
        EXPECT_EQ(l->view.u8(ins.targets[2] + 2), 20);
    }
}

TEST(MethodAssembler, LookupswitchWithoutCasesHasOnlyItsDefault) {
    auto l = link(R"(
.class test.S
    .method static int pick(int k)
        lookupswitch k, other
    other:
        const k, 7
        return
    .end
.end
)");
    const MethodSpan& m = l->method("test.S.pick(I)I");
    Instruction ins;
    std::string why;
    ASSERT_TRUE(decode(l->view, m.code, m.code_end, ins, &why)) << why;
    EXPECT_EQ(ins.opcode, OPlookupswitch);
    EXPECT_EQ(l->view.u16(ins.table), 0);  // count
    EXPECT_EQ(ins.length, lookupswitch_length(m.code, 0));
    ASSERT_EQ(ins.targets.size(), 1u);
    EXPECT_EQ(ins.targets[0], ins.next());  // the default is the next instruction
}

TEST(MethodAssembler, NativeBodiesHaveTheirInstructionLengths) {
    auto l = link(R"(
.class test.N
    .method static native void reexecute() inline ON_java_lang_Thread_method_opReturnAndReexecuteOpcode_V
    .end
    .method static native void ping() sni Java_test_N_ping
    .end
    .method static native int abs(int v) inline ON_java_lang_Math_method_abs_I_I
    .end
.end
)");
    auto first = [&](const std::string& name) {
        const MethodSpan& m = l->method(name);
        std::vector<Instruction> code;
        std::string why;
        EXPECT_TRUE(decode_range(l->view, m.code, m.code_end, code, &why)) << why;
        for (const Instruction& i : code)
            if (i.opcode != OPnop) return i;
        return Instruction{};
    };
    const Instruction r = first("test.N.reexecute()V");
    EXPECT_EQ(r.opcode, OPnative_code);
    EXPECT_EQ(r.length, 5u);
    const Instruction p = first("test.N.ping()V");
    EXPECT_EQ(p.opcode, OPinvoke_sni);
    EXPECT_EQ(p.length, 9u);
    EXPECT_EQ(l->view.u8(p.address + 7), 0x02);  // void, the 16-byte minimum area
    const Instruction a = first("test.N.abs(I)I");
    EXPECT_EQ(a.length, 7u);
    EXPECT_EQ(a.routine_regs, (std::vector<std::int8_t>{5, 5}));  // argument and result share p5
}

// The argument placement of the procedure-call standard: four words in
// core registers, then the stack; a long on an even slot; the documented
// example of seven arguments with a long result and an I/O exception.
TEST(MethodAssembler, NativeInterfaceDescriptorsPlaceArguments) {
    auto l = link(R"(
.class test.N
    .method static native long seven(int a, byte[] b, int c, int d, int[] e, int f, long g) sni Java_test_N_seven io
    .end
    .method static native double floats(float a, double b, float c, long d, int e) sni Java_test_N_floats
    .end
.end
)");
    const MethodSpan& m = l->method("test.N.seven(I[BII[IIJ)J");
    std::uint32_t a = m.code;
    while (l->view.u8(a) == OPnop) ++a;
    ASSERT_EQ(l->view.u8(a), OPinvoke_sni);
    const bytes tail(l->view.at(a + 7), l->view.at(a + 16));
    EXPECT_EQ(tail, (bytes{0x64, 0x87, 0x00, 0x09, 0x10, 0x18, 0x21, 0x28, 0x32}));
    const image::MethodHeader h = image::decode_method_header(l->view.at(m.method));
    EXPECT_EQ(l->view.u8(a + 5), h.frame_words);  // arguments are the method's own
    EXPECT_EQ(static_cast<std::int8_t>(l->view.u8(a + 6)), -2);

    // Floats back-fill: a -> s0, b -> d1, c -> s1; long d -> core 0,1; e -> core 2.
    const MethodSpan& f = l->method("test.N.floats(FDFJI)D");
    a = f.code;
    while (l->view.u8(a) == OPnop) ++a;
    EXPECT_EQ(l->view.u8(a + 7), 0x82);  // double result, 16-byte area
    const bytes d(l->view.at(a + 9), l->view.at(a + 14));
    EXPECT_EQ(d, (bytes{0x04, 0x0e, 0x0c, 0x02, 0x10}));
}

// Floating-point arguments beyond the registers are stacked like integer
// words (no float bit): the seventeenth float takes a stack slot, and a
// double that finds no free pair is stacked although s15 is free, after
// which no float goes back to the registers. The native call of the ARM
// self-test gets the bytes the self-test places by.
TEST(MethodAssembler, NativeInterfaceDescriptorsStackFloatsBeyondTheRegisters) {
    auto l = link(R"(
.class test.N
    .method static native float floats(float a, float b, float c, float d, float e, float f, float g, float h, float i, float j, float k, float l, float m, float n, float o, float p, float q, float r) sni Java_test_N_floats
    .end
    .method static native double spill(float a, float b, float c, float d, float e, float f, float g, float h, float i, float j, float k, float l, float m, float n, float o, double p, float q, int x) sni Java_test_N_spill
    .end
    .method static native long selfTest(int a0, float f0, double d0, long l0, float f1, int a1, double d1, int a2, long l1, float f2, double d2, double d3, double d4, double d5, float f3, int a3, float f4, double d6, int a4, float f5) sni Java_test_N_selfTest
    .end
.end
)");
    auto call = [&](const std::string& name) {
        std::uint32_t a = l->method(name).code;
        while (l->view.u8(a) == OPnop) ++a;
        EXPECT_EQ(l->view.u8(a), OPinvoke_sni) << name;
        return a;
    };
    std::uint32_t a = call("test.N.floats(FFFFFFFFFFFFFFFFFF)F");
    EXPECT_EQ(l->view.u8(a + 7), 0x73);  // float result, 24-byte area (slots 0-5)
    bytes expected;
    for (int s = 0; s < 16; ++s) expected.push_back(static_cast<std::uint8_t>(s << 3 | 0x04));
    expected.push_back(4 << 3);
    expected.push_back(5 << 3);
    EXPECT_EQ(bytes(l->view.at(a + 9), l->view.at(a + 9 + 18)), expected);

    a = call("test.N.spill(FFFFFFFFFFFFFFFDFI)D");
    EXPECT_EQ(l->view.u8(a + 7), 0x84);  // double result, 32-byte area (slots 0-6)
    const bytes tail(l->view.at(a + 9 + 15), l->view.at(a + 9 + 18));
    EXPECT_EQ(tail, (bytes{4 << 3 | 0x02, 6 << 3, 0 << 3}));  // double 4-5, float 6, int r0

    a = call(std::string("test.N.selfTest") + aapcs_vfp_self_test::kJavaDescriptor);
    EXPECT_EQ(l->view.u8(a + 7), 0x60 | aapcs_vfp_self_test::kAreaUnits);
    const std::size_t n = sizeof aapcs_vfp_self_test::kDescriptors;
    EXPECT_EQ(bytes(l->view.at(a + 9), l->view.at(a + 9 + n)),
              bytes(aapcs_vfp_self_test::kDescriptors, aapcs_vfp_self_test::kDescriptors + n));
}

// Branch selection: short forms when the target is near, the 16-bit form
// or the negated condition around a jump when it is far, backward forms for
// earlier targets, 4-bit register forms when the registers fit.
TEST(MethodAssembler, BranchFormsFollowDistanceAndDirection) {
    struct Case {
        const char* name;
        const char* branch;   // with target 'far' or 'back'
        int filler;           // nops between
        std::vector<std::uint8_t> ops;  // opcodes of the branch item, in order
    };
    const Case cases[] = {
        {"goto near", "goto far", 10, {OPgoto8}},
        {"goto far", "goto far", 300, {OPgoto16}},
        {"ifeq near", "ifeq x, far", 10, {OPifeq}},
        {"ifeq far inverted", "ifeq x, far", 300, {OPifne, OPgoto16}},
        {"icmp nibbles", "if_icmplt x, y, far", 10, {OPif_icmplt_4}},
        {"icmp gt swaps", "if_icmpgt x, y, far", 10, {OPif_icmplt_4}},
        {"icmp far", "if_icmpeq x, y, far", 300, {OPif_icmpeq}},
        {"imm near", "ifeq x, 3, far", 10, {OPifeq_imm}},
        {"imm far", "ifge x, 3, far", 300, {OPifle_imm, OPgoto16}},
        {"goto back", "goto back", 10, {OPgoto8_back}},
        {"goto back far", "goto back", 300, {OPgoto16_back}},
        {"ifne back", "ifne x, back", 10, {OPifne_back}},
        {"ifne back far", "ifne x, back", 300, {OPifeq, OPgoto16_back}},
        {"icmple back nibble", "if_icmple x, y, back", 10, {OPif_icmple_back_4}},
        {"icmpeq back", "if_icmpeq x, y, back", 10, {OPif_icmpeq_back}},
        {"imm back", "ifeq x, 3, back", 10, {OPifne_imm, OPgoto8_back}},
        {"imm lt is le", "iflt x, 3, far", 10, {OPifle_imm}},
        {"imm gt is ge", "ifgt x, -5, far", 10, {OPifge_imm}},
        {"imm lt far", "iflt x, -128, far", 300, {OPifge_imm, OPgoto16}},
        {"imm ge lowest far", "ifge x, -128, far", 300, {OPifeq_imm, OPifle_imm, OPgoto16}},
        {"imm ge lowest back", "ifge x, -128, back", 10, {OPifeq_imm, OPifle_imm, OPgoto8_back}},
        {"imm le highest back far", "ifle x, 127, back", 300, {OPifeq_imm, OPifge_imm, OPgoto16_back}},
    };
    for (const Case& c : cases) {
        std::string nops;
        for (int k = 0; k < c.filler; ++k) nops += "        nop\n";
        const bool back = std::string(c.branch).find("back") != std::string::npos;
        std::string code = "    back:\n";
        if (back) code += nops;
        code += "    here:\n        " + std::string(c.branch) + "\n";
        if (!back) code += nops;
        code += "    far:\n        return\n";
        auto l = link(R"(
.class test.B
    .method static void f(int x, int y)
)" + code + R"(    .end
.end
)");
        const MethodSpan& m = l->method("test.B.f(II)V");
        std::vector<Instruction> ins;
        std::string why;
        ASSERT_TRUE(decode_range(l->view, m.code, m.code_end, ins, &why)) << c.name << ": " << why;
        std::vector<std::uint8_t> got;
        for (const Instruction& i : ins)
            if (i.opcode != OPnop && i.opcode != OPreturn_0) got.push_back(i.opcode);
        EXPECT_EQ(got, c.ops) << c.name;
        // Three parts: equality jumps to the goto, the strict test skips it.
        if (got.size() == 3) {
            std::vector<const Instruction*> parts;
            for (const Instruction& i : ins)
                if (i.opcode != OPnop && i.opcode != OPreturn_0) parts.push_back(&i);
            EXPECT_EQ(parts[0]->targets[0], parts[2]->address) << c.name;
            EXPECT_EQ(parts[1]->targets[0], parts[2]->next()) << c.name;
        }
    }
}

// Literals and names the text form must read as a Java compiler would.
TEST(MethodAssembler, LiteralsAndLabelNames) {
    // Rounded once, straight to float: through a double it would give 1.0f.
    auto l = link(R"(
.class test.F
    .method static float f()
        const p5, 1.00000005960464477539062501f
        return
    .end
    .method static int g(int k)
        lookupswitch k, inf, 'a': nan, 'z': inf
    nan:
        const k, 1
        return
    inf:
        goto nan
    .end
.end
)");
    const std::vector<std::uint8_t> code = l->code("test.F.f()F");
    const std::vector<std::uint8_t> bits{0x01, 0x00, 0x80, 0x3f};
    EXPECT_NE(std::search(code.begin(), code.end(), bits.begin(), bits.end()), code.end());
    const MethodSpan& g = l->method("test.F.g(I)I");
    Instruction ins;
    std::string why;
    ASSERT_TRUE(decode(l->view, g.code, g.code_end, ins, &why)) << why;
    EXPECT_EQ(ins.keys, (std::vector<std::int32_t>{'a', 'z'}));
}

// A frame larger than a Java stack block could only fail at run time:
// the linker refuses it and says by how much.
TEST(MethodAssembler, FrameLargerThanAStackBlockIsRefused) {
    const std::string body = R"(
.class test.Big
    .method static void f()
        .temps 100
        return
    .end
.end
)";
    EXPECT_EQ(link_error(body), "");  // 105 words fit the default block
    const std::string e = link_error(".config _java_vmthread_java_stack_block_size 256\n" + body);
    EXPECT_NE(e.find("test.tvi:11: error: the frame of 'test.Big.f()V' takes 420 bytes, more than a Java stack block "
                     "holds (240 bytes of a 256-byte block"),
              std::string::npos)
        << e;
}

// Constant loads pick the register-first or register-last variant so that
// their constant sits at an even address, without padding.
TEST(MethodAssembler, ConstantLoadsChooseTheirVariantByParity) {
    auto l = link(R"(
.class test.C
    .method static void f()
        .temps 2
        .refs_below 1
        const p5, 1000
        nop
        const p5, 1000
        const p5, 100000
        nop
        const p5, 100000
        const64 p5, 0x123456789
        nop
        const64 p5, 0x123456789
        const_ref r-1, "x"
        nop
        const_ref r-1, "x"
        return
    .end
.end
)");
    const std::vector<Instruction> ins = l->instructions("test.C.f()V");
    std::vector<std::uint8_t> ops;
    for (const Instruction& i : ins) {
        ops.push_back(i.opcode);
        for (const DecodedOperand& o : i.operands) {
            if (needs_even_address(o.kind)) {
                EXPECT_EQ(o.address % 2, 0u) << i.info().name;
            }
        }
    }
    // The code of a compact-header method starts at an odd address.
    const std::vector<std::uint8_t> expected = {
        OPconst_i16_r, OPnop, OPconst_i16, OPconst_i32, OPnop, OPconst_i32_r,
        OPconst64_r, OPnop, OPconst64, OPconst_ref, OPnop, OPconst_ref_r, OPreturn_m1};
    EXPECT_EQ(ops, expected);
}

// Every kind of method header, from what the code does.
TEST(MethodAssembler, HeadersFollowSignatureAndRegisters) {
    auto l = link(R"(
.class test.H
    .method static int leaf(int a)
        iadd_imm a, 1, a
        return
    .end
    .method static int caller(int a)
        move p-1, a
        invokestatic test.H.leaf, p0, r0
        move a, p-1
        return
    .end
    .method java.lang.Object self()
        return
    .end
    .method static void handler()
        .catch java.lang.Throwable from start to end using caught
    start:
        nop
    end:
        return
    caught:
        return
    .end
    .method static keep_context void keeps()
        return
    .end
    .method static void extra_ref()
        .refs_below 1
        const_null r-1
        return
    .end
.end
)");
    struct Case { const char* name; bool compact; int frame_words; int ref_base; int refs_above; int prim_below; int handlers; };
    const Case cases[] = {
        {"test.H.leaf(I)I", true, 6, 0, 0, 0, 0},
        {"test.H.caller(I)I", false, 6, 0, 0, 1, 0},
        {"test.H.self()Ljava.lang.Object;", true, 5, 1, 0, 0, 0},
        {"test.H.handler()V", false, 5, 0, 1, 0, 1},
        {"test.H.keeps()V", false, 5, 0, 0, 0, 0},
        {"test.H.extra_ref()V", true, 5, 1, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const MethodSpan& m = l->method(c.name);
        const image::MethodHeader h = image::decode_method_header(l->view.at(m.method));
        EXPECT_EQ(h.compact, c.compact) << c.name;
        EXPECT_EQ(h.frame_words, c.frame_words) << c.name;
        EXPECT_EQ(h.ref_base, c.ref_base) << c.name;
        EXPECT_EQ(h.refs_above, c.refs_above) << c.name;
        EXPECT_EQ(h.prim_below, c.prim_below) << c.name;
        EXPECT_EQ(h.handler_count, c.handlers) << c.name;
    }
    EXPECT_TRUE(image::decode_method_header(l->view.at(l->method("test.H.keeps()V").method)).keep_context);
}

// Exact opcodes and raw bytes stay as written.
TEST(MethodAssembler, ForcedOpcodesAndRawBytesAreKept) {
    auto l = link(R"(
.class test.F
    .method static void f()
        OPgoto16 end
        .byte 0xed, 0x42
    end:
        OPreturn_0
    .end
.end
)");
    // A one-byte header puts the code at an odd address: no padding needed.
    EXPECT_EQ(l->code("test.F.f()V"), (bytes{OPgoto16, 0x02, 0x00, 0xed, 0x42, OPreturn_0}));
}

// A call of a method bound to an inline routine becomes the routine, on
// the call's registers.
TEST(MethodAssembler, CallsOfInlineRoutinesAreInlined) {
    auto l = link(R"(
.class test.I
    .method static native int max(int a, int b) inline ON_java_lang_Math_method_max_I_I_I
    .end
    .method static int f(int a, int b)
        move p-1, a
        move p-2, b
        invokestatic test.I.max, p0, r0
        move a, p-1
        return
    .end
.end
)");
    const std::vector<Instruction> ins = l->instructions("test.I.f(II)I");
    bool found = false;
    for (const Instruction& i : ins) {
        EXPECT_NE(i.info().kind, OpKind::Invoke);
        if (i.opcode == OPnative_code) {
            found = true;
            EXPECT_EQ(i.routine_regs, (std::vector<std::int8_t>{-1, -2, -1}));
        }
    }
    EXPECT_TRUE(found);
}

// A call whose address operand would fall on an odd address is padded with
// a nop unless an earlier move of the same straight run can take its
// one-byte-longer form instead; a label between them keeps the nop (the
// move would not run on every path to the call).
TEST(MethodAssembler, CallsArePaddedOnlyWhenNoEarlierMoveCanWiden) {
    auto l = link(R"(
.class test.P
    .method static int fib(int n)
        .temps 1
        iflt n, 2, small
        move p-1, n
        dec p-1
        invokestatic fib, p0, r0
        move p5, p-1
        move p-1, n
        iadd_imm p-1, -2, p-1
        invokestatic fib, p0, r0
        iadd p5, p-1, n
    small:
        return
    .end
    .method static int g(int n)
        .temps 1
        move p-1, n
    again:
        dec p-1
        invokestatic fib, p0, r0
        return
    .end
.end
)");
    auto ops = [&](const std::string& name) {
        std::vector<std::uint8_t> got;
        for (const Instruction& i : l->instructions(name)) got.push_back(i.opcode);
        return got;
    };
    const std::vector<std::uint8_t> fib = ops("test.P.fib(I)I");
    EXPECT_EQ(std::count(fib.begin(), fib.end(), OPnop), 0);
    EXPECT_EQ(std::count(fib.begin(), fib.end(), OPmove), 2);  // one widened before each call
    EXPECT_EQ(std::count(fib.begin(), fib.end(), OPmove_4), 1);
    // A move before a loop's label widens for a call inside the loop.
    const std::vector<std::uint8_t> g = ops("test.P.g(I)I");
    EXPECT_EQ(std::count(g.begin(), g.end(), OPnop), 0);
    EXPECT_EQ(std::count(g.begin(), g.end(), OPmove), 1);
}

// The code of a static `int f(int n)` with three temporaries: `start`,
// then a loop headed by the label `loop`. The shifted variant puts a
// 3-byte constant before the loop, which moves the loop by one byte.
std::vector<Instruction> loop_method(const std::string& start, bool shifted, const std::string& loop) {
    auto l = link(".class test.L\n"
                  "    .method static int f(int n)\n"
                  "        .temps 3\n" +
                  start + (shifted ? "        const p7, 5\n" : "") + "    loop:\n" + loop +
                  "        return\n"
                  "    .end\n"
                  ".end\n");
    return l->instructions("test.L.f(I)I");
}

// A loop's back edge that needs an even operand is not padded inside the
// loop when any earlier instruction, even one behind a label or in a
// branch, has a form one byte longer: in both variants the loop runs no
// nop.
TEST(MethodAssembler, NoPaddingRunsInsideALoopWhenAnEarlierFormCanWiden) {
    for (const bool shifted : {false, true}) {
        const std::vector<Instruction> ins = loop_method("        const p5, 9\n", shifted,
                                                         "        inc p6\n"
                                                         "        ifne_imm p6, 3, same\n"
                                                         "        const p6, 0\n"
                                                         "    same:\n"
                                                         "        inc p5\n"
                                                         "        if_icmplt p5, n, loop\n");
        auto back = std::find_if(ins.begin(), ins.end(), [](const Instruction& x) { return is_backward(x.info().kind); });
        ASSERT_NE(back, ins.end());
        for (auto i = ins.begin(); i != back; ++i) {
            if (i->address >= back->targets[0]) EXPECT_NE(i->opcode, OPnop) << "shifted " << shifted;
        }
    }
}

// A loop whose first instruction needs a padding byte has the nop before
// its label: the back edge lands on the instruction, so only the way in
// from above runs the nop. One of the two variants puts the allocation on
// an odd address; no instruction before it has a wider form.
TEST(MethodAssembler, LoopsBranchBackPastTheirPadding) {
    int padded = 0;
    for (const bool shifted : {false, true}) {
        const std::vector<Instruction> ins = loop_method("        const p5, 7\n", shifted,
                                                         "        new r0, test.L\n"
                                                         "        inc p5\n"
                                                         "        if_icmplt p5, n, loop\n");
        for (std::size_t i = 0; i < ins.size(); ++i) {
            if (!is_backward(ins[i].info().kind)) continue;
            ASSERT_EQ(ins[i].targets.size(), 1u);
            auto target = std::find_if(ins.begin(), ins.end(),
                                       [&](const Instruction& x) { return x.address == ins[i].targets[0]; });
            ASSERT_NE(target, ins.end());
            EXPECT_EQ(target->opcode, OPnew) << "shifted " << shifted;
            if (target != ins.begin() && (target - 1)->opcode == OPnop) ++padded;
        }
    }
    EXPECT_EQ(padded, 1);
}

}  // namespace
}  // namespace tarvelo::imagelink
