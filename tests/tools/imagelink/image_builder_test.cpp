// Images with classes, interfaces, arrays, strings, properties, immutables
// and resources: their records as the virtual machine reads them.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "tests/tools/imagelink/link_helpers.h"
#include "tools/imagelink/asm_writer.h"
#include "tools/imagelink/verifier.h"
#include "vm/model/image_format.h"
#include "vm/model/string_record.h"
#include "vm/model/type_record.h"
#include "vm/model/object_header.h"

namespace tarvelo::imagelink {
namespace {

using namespace testing;

// An image with a little of everything.
const char* kRichImage = R"(
.config _java_heap_size 4096
.property "greeting" "hello"
.property "empty" ""
.string "interned"
.resource "/data/text/hello.txt" ")" TARVELO_TEST_DATA_DIR R"(/hello.txt"
.clinit_order test.Second, test.First

.interface test.I1
    .method int one()
    .end
.end
.interface test.I2
    .method int two()
    .end
.end
.interface test.I3 extends test.I1
    .method int three()
    .end
.end
.interface test.Lonely
    .method void alone()
    .end
.end

.class exported test.A implements test.I3
    .field int x
    .field java.lang.Object ref
    .field long wide
    .field static int counter
    .field static java.lang.String name
    .method public void <init>()
        return
    .end
    .method int one()
        const p5, 1
        return
    .end
    .method int three()
        const p5, 3
        return
    .end
    .method int m()
        const p5, 10
        return
    .end
.end

.class test.B extends test.A implements test.I2
    .field byte small
    .field java.lang.Object other
    .method int m()
        const p5, 20
        return
    .end
    .method int two()
        const p5, 2
        return
    .end
    .method int extra()
        const_ref r0, "interned"
        const p5, 0
        return
    .end
.end

.class test.Solo implements test.Lonely
    .method void alone()
        return
    .end
.end

.class test.First
    .method static void <clinit>()
        return
    .end
.end
.class test.Second
    .method static void <clinit>()
        const_ref r0, class int[][]
        return
    .end
.end

.class test.Point
    .field int x
    .field int y
    .field java.lang.String label
.end

.immutable numbers int[] = { 1, -2, 0x7fffffff }
.immutable word char[] = "abc"
.immutable origin test.Point = { x = 3, y = -4, label = "origin" }
.immutable grid char[][] = { "ab", { 'c', 'd' } }
.immutable hidden inner int[] = { 5 }
.immutable holder java.lang.Object[] = { @inner, null, "s" }
)";

class RichImage : public ::testing::Test {
protected:
    static void SetUpTestSuite() { linked_ = link(kRichImage).release(); }
    static void TearDownTestSuite() { delete linked_; }
    static Linked* linked_;

    const ImageView& v() const { return linked_->view; }
    std::uint32_t sym(const char* name) const { return linked_->label(name); }
    std::u16string string_at(std::uint32_t ref) const {
        const std::uint32_t array = v().u32(ref - 4);
        const std::uint32_t off = v().u32(ref + image::kStringOffsetField);
        const std::uint32_t n = v().u32(ref + image::kStringCountField);
        std::u16string s;
        for (std::uint32_t k = 0; k < n; ++k) s += static_cast<char16_t>(v().u16(array + 12 + 2 * (off + k)));
        return s;
    }
    std::uint32_t type_of(std::uint32_t object) const {
        return memory::header_type_offset(v().u32(object)) + sym("_java_header_types_start");
    }
    std::vector<std::uint32_t> array_words(std::uint32_t array) const {
        std::vector<std::uint32_t> out;
        for (std::uint32_t k = 0; k < v().u32(array + 8); ++k) out.push_back(v().u32(array + 12 + 4 * k));
        return out;
    }
};
Linked* RichImage::linked_ = nullptr;

TEST_F(RichImage, PassesTheVerifier) {
    const auto problems = verify_image(v());
    for (const auto& p : problems) ADD_FAILURE() << p;
    EXPECT_EQ(v().u32(sym("_java_vornfile_header_start") + 8), image::kImageMagic);
}

TEST_F(RichImage, ClassHeadersCarryLayoutAndDispatch) {
    const std::uint32_t a = sym("_java_Ltest_A"), b = sym("_java_Ltest_B"), object = sym("_java_Ljava_lang_Object");
    EXPECT_EQ(v().u8(a + image::kTypeDepthOffset), 1);
    EXPECT_EQ(v().u8(b + image::kTypeDepthOffset), 2);
    EXPECT_EQ(v().u8(a + image::kTypeFlagsOffset), image::kTypeExported | image::kTypePublicCtor);
    // A: ref, header, x, wide; B adds a byte and a reference.
    EXPECT_EQ(v().u16(a + image::kClassRefBytesOffset), 4);
    EXPECT_EQ(v().u16(a + image::kClassInstanceSizeOffset), 4 + 8 + 4 + 8);
    EXPECT_EQ(v().u16(b + image::kClassRefBytesOffset), 8);
    EXPECT_EQ(v().u16(b + image::kClassInstanceSizeOffset), 8 + 8 + 4 + 8 + 4);
    // Hierarchy: Object then A.
    const std::uint32_t h = v().u32(b + image::kClassHierarchyOffset);
    EXPECT_EQ(v().u32(h), object);
    EXPECT_EQ(v().u32(h + 4), a);
    // Virtual tables: Object's four slots first, an override keeps its slot.
    const std::uint32_t va = v().u32(a + image::kClassVtableOffset), vb = v().u32(b + image::kClassVtableOffset);
    const std::uint32_t vo = v().u32(object + image::kClassVtableOffset);
    for (std::uint32_t k = 0; k < 4; ++k) EXPECT_EQ(v().u32(va + 4 * k), v().u32(vo + 4 * k));
    const MethodSpan& am = linked_->method("test.A.m()I");
    const MethodSpan& bm = linked_->method("test.B.m()I");
    int slot = -1;
    for (int k = 0; k < 8; ++k)
        if (v().u32(va + 4 * static_cast<std::uint32_t>(k)) == am.method) slot = k;
    ASSERT_GE(slot, 4);
    EXPECT_EQ(v().u32(vb + 4 * static_cast<std::uint32_t>(slot)), bm.method);
    EXPECT_EQ(v().u32(a + image::kClassDefaultCtorOffset), linked_->method("test.A.<init>()V").method);
    EXPECT_EQ(v().u32(b + image::kClassDefaultCtorOffset), 0u);
}

TEST_F(RichImage, InterfaceTablesSeparateTheIdsOfEachClass) {
    const std::uint32_t b = sym("_java_Ltest_B");
    const std::uint32_t i1 = sym("_java_Ltest_I1"), i2 = sym("_java_Ltest_I2"), i3 = sym("_java_Ltest_I3");
    // B implements I1, I2 and I3 (through A): three distinct ids.
    std::set<std::uint16_t> ids{image::interface_id(v().at(i1)), image::interface_id(v().at(i2)), image::interface_id(v().at(i3))};
    EXPECT_EQ(ids.size(), 3u);
    // An interface no other one meets may share an id.
    EXPECT_EQ(image::interface_id(v().at(sym("_java_Ltest_Lonely"))), 0);
    const std::uint32_t it = v().u32(b + image::kClassInterfaceTableOffset);
    const std::uint16_t lo = v().u16(it), hi = v().u16(it + 2);
    for (std::uint32_t iface : {i1, i2, i3}) {
        const std::uint16_t id = image::interface_id(v().at(iface));
        ASSERT_TRUE(id >= lo && id <= hi);
        const std::uint32_t imt = v().u32(it + 4 + 4 * (id - lo));
        EXPECT_EQ(v().u32(imt), iface);
        EXPECT_EQ(v().u32(imt + 4), 0u);
    }
    // I3's table lists its own method; I1's the inherited A.one.
    const std::uint32_t imt3 = v().u32(it + 4 + 4 * (image::interface_id(v().at(i3)) - lo));
    EXPECT_EQ(v().u32(imt3 + 8), linked_->method("test.A.three()I").method);
    // Super-interfaces of I3.
    const std::uint32_t supers = image::interface_supers(v().at(i3));
    ASSERT_NE(supers, 0u);
    EXPECT_EQ(v().u32(supers), 1u);
    EXPECT_EQ(v().u32(supers + 4), i1);
    EXPECT_EQ(v().u8(i3 + image::kInterfaceDepthOffset), 1);
    EXPECT_EQ(v().u8(i1 + image::kTypeFlagsOffset), image::kTypeInterface | image::kTypeAbstract);
}

TEST_F(RichImage, ArrayTypesNameTheirElements) {
    const std::uint32_t ai = sym("_java_AI"), aai = sym("_java_AAI"), as = sym("_java_ALjava_lang_String");
    EXPECT_EQ(v().u32(ai + image::kArrayElementOffset), memory::kElemInt);
    EXPECT_EQ(v().u32(aai + image::kArrayElementOffset), ai);
    EXPECT_EQ(v().u32(as + image::kArrayElementOffset), sym("_java_Ljava_lang_String"));
    EXPECT_EQ(v().u8(ai + image::kTypeFlagsOffset), image::kTypeArray | image::kTypeExported);
    // Class-name record of int[][]: '[' name, 2 dimensions, the int record.
    const std::uint32_t rec = v().u32(aai + image::kTypeNameRecordOffset);
    EXPECT_EQ(v().u8(v().u32(rec)), '[');
    EXPECT_EQ(v().u32(rec + image::kArrayNameDimensionsOffset), 2u);
    const std::uint32_t elem = v().u32(rec + image::kArrayNameElementOffset);
    EXPECT_EQ(v().u32(elem + image::kClassNameTypeOffset), memory::kElemInt);
    EXPECT_EQ(v().u32(rec + image::kClassNameTypeOffset), aai);
}

TEST_F(RichImage, ClassNameRecordsStartWithThePrimitiveCodes) {
    std::uint32_t r = sym("_java_class_names_start");
    for (std::uint32_t code = 11; code >= 4; --code, r += image::kClassNameRecordSize) {
        EXPECT_EQ(v().u8(v().u32(r)), code);
        EXPECT_EQ(v().u32(r + 4), 1u);
        EXPECT_EQ(v().u32(r + 8), 0u);
        EXPECT_EQ(v().u32(r + 12), code);
    }
    // The String record: "String" in package "lang" in package "java".
    const std::uint32_t s = v().u32(sym("_java_Ljava_lang_String") + image::kTypeNameRecordOffset);
    auto name = [&](std::uint32_t rec) {
        return std::string(reinterpret_cast<const char*>(v().at(v().u32(rec))), v().u32(rec + 4));
    };
    EXPECT_EQ(name(s), "String");
    const std::uint32_t lang = v().u32(s + image::kClassNamePackageOffset);
    EXPECT_EQ(name(lang), "lang");
    const std::uint32_t java = v().u32(lang + image::kPackageParentOffset);
    EXPECT_EQ(name(java), "java");
    EXPECT_EQ(v().u32(java + image::kPackageParentOffset), 0u);
}

TEST_F(RichImage, InternedStringsAndTheVmStrings) {
    struct Case { const char* symbol; std::u16string text; };
    const Case cases[] = {
        {"_java_main_thread_name", u"main"},
        {"_java_stream_closed_exception_message", u"Stream closed"},
        {"_java_sni_non_immortal_exception_message", u"Non immortal object passed to native method"},
        {"_java_sni_native_resource_owner", u"KERNEL"},
    };
    for (const Case& c : cases) {
        const std::uint32_t ref = sym(c.symbol);
        EXPECT_EQ(string_at(ref), c.text) << c.symbol;
        EXPECT_EQ(v().u32(ref + image::kStringHashField), image::string_hash(c.text.data(), c.text.size()));
        EXPECT_EQ(type_of(ref), sym("_java_Ljava_lang_String"));
        EXPECT_EQ(v().u32(ref - 4), sym("_java_sharedarray_start"));
    }
    // Records are 24 bytes; a reference points 4 bytes into one.
    EXPECT_EQ((sym("_java_main_thread_name") - sym("_java_internStrings_start")) % 24, 4u);
    EXPECT_EQ((sym("_java_internStrings_end") - sym("_java_internStrings_start")) % 24, 0u);
}

TEST_F(RichImage, SystemPropertiesPairKeysWithValues) {
    const auto keys = array_words(sym("_java_properties_Keys"));
    const auto values = array_words(sym("_java_properties_Values"));
    ASSERT_EQ(keys.size(), 2u);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(string_at(keys[0]), u"greeting");
    EXPECT_EQ(string_at(values[0]), u"hello");
    EXPECT_EQ(string_at(keys[1]), u"empty");
    EXPECT_EQ(string_at(values[1]), u"");
    // A key is a String reference, never the first record itself.
    EXPECT_NE(keys[0], sym("_java_internStrings_start"));
    EXPECT_EQ(type_of(sym("_java_properties_Keys")), sym("_java_ALjava_lang_String"));
}

TEST_F(RichImage, ImmutablesHoldTheirValues) {
    const auto keys = array_words(sym("_java_immutable_Keys"));
    const auto values = array_words(sym("_java_immutable_Values"));
    ASSERT_EQ(keys.size(), 5u);  // 'inner' is hidden
    ASSERT_EQ(values.size(), 5u);
    const std::uint32_t start = sym("_java_immutables_start"), end = sym("_java_immutables_end");
    std::map<std::u16string, std::uint32_t> by_name;
    for (std::size_t k = 0; k < keys.size(); ++k) {
        by_name[string_at(keys[k])] = values[k];
        EXPECT_TRUE(values[k] >= start && values[k] < end);
        EXPECT_EQ(v().u32(values[k]) >> 24, 0x82u);  // image objects are born marked
    }
    const std::uint32_t numbers = by_name.at(u"numbers");
    EXPECT_EQ(type_of(numbers), sym("_java_AI"));
    EXPECT_EQ(array_words(numbers), (std::vector<std::uint32_t>{1, 0xFFFFFFFEu, 0x7FFFFFFFu}));
    const std::uint32_t word = by_name.at(u"word");
    EXPECT_EQ(v().u32(word + 8), 3u);
    EXPECT_EQ(v().u16(word + 12), 'a');
    EXPECT_EQ(v().u16(word + 16), 'c');
    const std::uint32_t origin = by_name.at(u"origin");
    EXPECT_EQ(v().u32(origin + 8), 3u);
    EXPECT_EQ(static_cast<std::int32_t>(v().u32(origin + 12)), -4);
    EXPECT_EQ(string_at(v().u32(origin - 4)), u"origin");
    const std::uint32_t grid = by_name.at(u"grid");
    const auto rows = array_words(grid);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(type_of(rows[0]), sym("_java_AC"));
    EXPECT_EQ(v().u16(rows[1] + 14), 'd');
    const auto held = array_words(by_name.at(u"holder"));
    EXPECT_EQ(array_words(held[0]), (std::vector<std::uint32_t>{5}));
    EXPECT_EQ(held[1], 0u);
    EXPECT_EQ(string_at(held[2]), u"s");
    // The pre-built OutOfMemoryError: its reference fields zero below it.
    const std::uint32_t oome = sym("_java_Object_OutOfMemory");
    EXPECT_EQ(type_of(oome), sym("_java_Ljava_lang_OutOfMemoryError"));
    for (std::uint32_t k = 4; k <= 16; k += 4) EXPECT_EQ(v().u32(oome - k), 0u);
    EXPECT_TRUE(oome > start && oome < end);
}

TEST_F(RichImage, ResourcesAreNamedByPackageAndFile) {
    const std::uint32_t r = sym("_java_resource_names_start");
    ASSERT_EQ(sym("_java_resource_names_end") - r, image::kResourceRecordSize);
    auto text = [&](std::uint32_t p, std::uint32_t n) { return std::string(reinterpret_cast<const char*>(v().at(p)), n); };
    EXPECT_EQ(text(v().u32(r), v().u32(r + 4)), "hello.txt");
    const std::uint32_t pkg = v().u32(r + image::kResourcePackageOffset);
    EXPECT_EQ(text(v().u32(pkg), v().u32(pkg + 4)), "text");
    EXPECT_EQ(text(v().u32(r + image::kResourceDataOffset), v().u32(r + image::kResourceSizeOffset)), "hello, resource\n");
    EXPECT_EQ(v().u32(r + image::kResourceOwnerOffset), 0u);
}

TEST_F(RichImage, ClassInitialisersRunInTheGivenOrder) {
    const std::uint32_t c = sym("_java_clinits_start");
    ASSERT_EQ(sym("_java_clinits_end") - c, 8u);
    EXPECT_EQ(v().u32(c), linked_->method("test.Second.<clinit>()V").method);
    EXPECT_EQ(v().u32(c + 4), linked_->method("test.First.<clinit>()V").method);
}

TEST_F(RichImage, KernelTablesAndDescriptor) {
    const std::uint32_t kh = sym("_java_kernel_header_start");
    EXPECT_EQ(v().u32(kh + 4 * image::kKernelAddressesStart), sym("_java_kernel_addresses_table_start"));
    EXPECT_EQ(v().u32(kh + 4 * image::kKernelAddressesEnd), sym("_java_kernel_addresses_table_end"));
    // 58 inline routines, then the exported types.
    const std::uint32_t t = sym("_java_kernel_addresses_table_start");
    EXPECT_EQ(v().u32(t + 4 * 58), sym("_java_Ljava_lang_Object"));
    EXPECT_EQ(sym("_java_signature_end") - sym("_java_signature_start"), image::kSignatureSize);
    const std::uint32_t fd = sym("_java_features_start");
    EXPECT_EQ(v().u32(fd + 4 * image::kFeatureImageStart), sym("_java_vornsection_header_start"));
    EXPECT_EQ(v().u32(fd + 4 * image::kFeatureTypesStart), sym("_java_header_types_start"));
    EXPECT_EQ(v().u32(fd + 4 * image::kFeatureInternStringsEnd), sym("_java_internStrings_end"));
    EXPECT_EQ(v().u32(fd + 4 * image::kFeatureSharedArray), sym("_java_sharedarray_start"));
}

TEST_F(RichImage, StaticsAndConfigurationPlanTheRam) {
    const LinkedImage& img = linked_->image;
    std::map<std::string, std::uint32_t> config(img.config.begin(), img.config.end());
    EXPECT_EQ(config.at("_java_heap_size"), 4096u);
    EXPECT_EQ(config.at("_java_max_nb_standaloneEngines"), 34u);
    std::vector<std::string> order;
    std::uint32_t heap = 0;
    for (const RamItem& r : img.ram) {
        order.push_back(r.name);
        if (r.name == "_java_heap_start") heap = r.size;
    }
    EXPECT_EQ(heap, 4096u);
    auto at = [&](const std::string& n) { return std::find(order.begin(), order.end(), n) - order.begin(); };
    EXPECT_LT(at("_java_statics_bt4_start"), at("_java_Stest_A__counter"));
    EXPECT_LT(at("_java_Stest_A__counter"), at("_java_statics_bt4_end"));
    EXPECT_LT(at("_java_statics_ref_start"), at("_java_Stest_A__name"));
    // The heap follows the reference statics directly.
    EXPECT_EQ(at("_java_heap_start"), at("_java_statics_ref_end") + 1);
}

}  // namespace
}  // namespace tarvelo::imagelink

namespace tarvelo::imagelink {
namespace {

using namespace testing;

// Lazily initialised statics, exported items, kernel identity and weak
// natives.
TEST(KernelTables, InitWrappersExportsAndIdentity) {
    auto l = link(R"(
.signature "0123456789abcdefghijklmn"
.compatible_uid "older-kernel"
.option weak_externals
.class exported test.K
    .field static lazy java.lang.Object cached init test.K.makeCached
    .field static exported int shared
    .method static void makeCached()
        new r0, java.lang.Object
        putstatic r0, test.K.cached
        native_code ON_java_lang_Thread_method_opReturnAndReexecuteOpcode_V
    .end
    .method static exported int api()
        const p5, 1
        return
    .end
    .method static native void missing() sni Java_test_K_missing
    .end
.end
)");
    const ImageView& v = l->view;
    const std::uint32_t kh = l->label("_java_kernel_header_start");
    const std::uint32_t ws = v.u32(kh), we = v.u32(kh + 4);
    // The prelude's own lazy statics have entries too: find this one's.
    ASSERT_EQ((we - ws) % image::kInitWrapperEntrySize, 0u);
    std::uint32_t entry = 0;
    for (std::uint32_t e = ws; e < we; e += image::kInitWrapperEntrySize)
        if (v.u32(e + image::kInitWrapperMethodOffset) == l->method("test.K.makeCached()V").method) entry = e;
    ASSERT_NE(entry, 0u);
    // The static's address is resolved by the system linker: it is named.
    bool named = false;
    for (const Relocation& r : l->image.relocations)
        if (r.at == entry - kVerifyBase && r.external) named = r.symbol == "_java_Stest_K__cached";
    EXPECT_TRUE(named);
    // The lazy static lies in the lazily initialised part of REF.
    std::vector<std::string> ram;
    for (const RamItem& r : l->image.ram) ram.push_back(r.name);
    auto at = [&](const char* n) { return std::find(ram.begin(), ram.end(), n) - ram.begin(); };
    EXPECT_LT(at("_java_statics_refls_kernel_start"), at("_java_Stest_K__cached"));
    EXPECT_LT(at("_java_Stest_K__cached"), at("_java_statics_refls_kernel_end"));
    // Kernel addresses: 58 routines, exported types, methods, statics.
    const std::uint32_t t = l->label("_java_kernel_addresses_table_start");
    std::vector<std::uint32_t> exported;
    for (std::uint32_t a = t + 4 * 58; a < l->label("_java_kernel_addresses_table_end"); a += 4) exported.push_back(v.u32(a));
    EXPECT_NE(std::find(exported.begin(), exported.end(), l->label("_java_Ltest_K")), exported.end());
    EXPECT_NE(std::find(exported.begin(), exported.end(), l->method("test.K.api()I").method), exported.end());
    // Identity.
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(v.at(l->label("_java_signature_start"))), 24), "0123456789abcdefghijklmn");
    const std::uint32_t uids = l->label("_java_kernel_compatible_uids_table_start");
    EXPECT_EQ(v.u8(uids), 12);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(v.at(uids + 1)), 12), "older-kernel");
    EXPECT_EQ(v.u32(kh + 4 * image::kKernelCompatibleUidsEnd), uids + 13);
    // Natives are referenced weakly when asked.
    const std::string s = write_assembler(l->image, "test.tvi");
    EXPECT_NE(s.find(".weak Java_test_K_missing"), std::string::npos);
    EXPECT_NE(s.find(".weak _java_heap_size\n    .set _java_heap_size, 900000"), std::string::npos);
}

}  // namespace
}  // namespace tarvelo::imagelink

namespace tarvelo::imagelink {
namespace {

// Image objects carry an identity hash already: the first hashCode of one
// must not write into the read-only image.
TEST(ImageObjects, AreBornWithAnIdentityHash) {
    auto l = testing::link(".immutable a int[] = { 1 }\n.immutable b int[] = { 2 }\n");
    const std::uint32_t objects[] = {
        l->label("_java_Ljava_lang_Object"), l->label("_java_AI"), l->label("_java_main_thread_name"),
        l->label("_java_sharedarray_start"), l->label("_java_properties_Keys"), l->label("_java_Object_OutOfMemory"),
        l->label("_java_immutable_Keys"),
    };
    for (std::uint32_t o : objects) {
        const std::uint32_t h = l->view.u32(o);
        EXPECT_NE(h & 0x7FFFFu, h & memory::kTypeOffsetMask) << std::hex << o;
        EXPECT_GE(memory::header_hash(h), 1u);
        EXPECT_LE(memory::header_hash(h), 31u);
    }
}

// An immutable String's chars are read as its fields say: the linker
// writes none whose offset and count leave its char[] or that has none.
TEST(ImageObjects, ImmutableStringsLieWithinTheirChars) {
    const std::string chars = ".immutable chars char[] = \"abc\"\n.immutable ints int[] = { 1, 2, 3 }\n";
    auto string = [&](const std::string& fields) { return chars + ".immutable s java.lang.String = { " + fields + " }\n"; };
    struct Case {
        const char* fields;
        const char* message;
    };
    const Case cases[] = {
        {"value = @chars, offset = 0, count = 50000000", "offset 0 and count 50000000 must lie within its 3 chars"},
        {"value = @chars, offset = -2, count = 1", "offset -2 and count 1"},
        {"value = @chars, offset = 2, count = 2", "offset 2 and count 2"},
        {"value = @chars, offset = 1, count = 0xffffffff", "count 4294967295"},
        {"value = \"ab\", count = 3", "within its 2 chars"},
        {"value = null, count = 0", "value must be a char[]"},
        {"offset = 0", "value must be a char[]"},
        {"value = @ints, count = 1", "value must be a char[]"},
    };
    for (const Case& c : cases) {
        const std::string error = testing::link_error(string(c.fields));
        EXPECT_NE(error.find(c.message), std::string::npos) << c.fields << ": " << error;
    }
    for (const char* fields : {"value = @chars, offset = 1, count = 2", "value = @chars, offset = 3", "value = \"ab\", count = 2"})
        EXPECT_EQ(testing::link_error(string(fields)), "") << fields;
}

}  // namespace
}  // namespace tarvelo::imagelink

namespace tarvelo::imagelink {
namespace {

using namespace testing;

// Shared interfaces: the same simple name in two packages gives the same
// identifier; each implementing class's method table points, from its
// word 1, at one descriptor per method with the method's signature and
// the transfer kinds (0 primitive, 3 reference).
TEST(SharedInterfaces, DescriptorsReachedFromTheHeaderAndTheMethodTables) {
    auto l = link(R"(
.interface shared a.Greeter
    .method int greet(int x, java.lang.String s)
    .end
.end
.interface shared b.Greeter
    .method int greet(int y, b.Greeter g)
    .end
.end
.interface a.Plain
    .method void p()
    .end
.end
.class a.Impl implements a.Greeter, a.Plain
    .method int greet(int x, java.lang.String s)
        return
    .end
    .method void p()
        return
    .end
.end
)");
    const ImageView& v = l->view;
    auto sym = [&](const std::string& s) { return l->label(s); };
    const std::uint32_t ga = sym("_java_La_Greeter"), gb = sym("_java_Lb_Greeter"), plain = sym("_java_La_Plain");
    const std::uint32_t da = image::interface_shared_descriptor(v.at(ga)), db = image::interface_shared_descriptor(v.at(gb));
    ASSERT_NE(da, 0u);
    ASSERT_NE(db, 0u);
    EXPECT_EQ(image::interface_shared_descriptor(v.at(plain)), 0u);
    EXPECT_EQ(0, std::memcmp(v.at(da + 4), v.at(db + 4), 24));
    const std::uint32_t impl = sym("_java_La_Impl");
    const std::uint32_t it = v.u32(impl + image::kClassInterfaceTableOffset);
    const std::uint16_t lo = v.u16(it);
    const std::uint32_t imt = v.u32(it + 4 + 4 * (image::interface_id(v.at(ga)) - lo));
    const std::uint32_t plain_imt = v.u32(it + 4 + 4 * (image::interface_id(v.at(plain)) - lo));
    EXPECT_EQ(v.u32(plain_imt + 4), 0u);
    ASSERT_EQ(v.u32(imt + 4), 12u);  // 8 + one method
    const std::uint32_t d = v.u32(imt + 12);
    EXPECT_EQ(v.u32(d), 0u);      // an int result needs no transfer
    EXPECT_EQ(v.u32(d + 4), 2u);  // two arguments
    EXPECT_EQ(v.u32(d + 8), 1u);  // one primitive word
    EXPECT_EQ(v.u32(d + 12), 0u);
    EXPECT_EQ(v.u32(d + 16), sym("_java_Ljava_lang_String"));
    const std::uint8_t* kinds = static_cast<const std::uint8_t*>(v.at(d + 20 + 24));
    EXPECT_EQ(kinds[0], 0);
    EXPECT_EQ(kinds[1], 0);
    EXPECT_EQ(kinds[2], 3);
    // The descriptor's first word is the interface's generated proxy class.
    EXPECT_EQ(v.u32(da), sym("_java_La_Greeter_024Proxy"));
    EXPECT_EQ(v.u32(db), sym("_java_Lb_Greeter_024Proxy"));
}

// The proxy class of a shared interface extends yq.kf.Proxy, implements
// the interface's methods and its super-interfaces', each with room above
// the state word for the positions of its deepest array and its result.
TEST(SharedInterfaces, ProxyClassesAndTransferKinds) {
    auto l = link(R"(
.interface shared a.Base
    .method long total(int[][] t)
    .end
.end
.interface shared a.Store extends a.Base
    .method java.lang.Object put(java.lang.Class type, java.lang.Object o, java.lang.String[][] names, java.lang.Object k)
        .transfer o convert_to type
        .transfer names unchanged
        .transfer k convert
        .transfer return convert
    .end
.end
.class a.Impl implements a.Store
    .method long total(int[][] t)
        .temps 1
        const64 p5, 0L
        return
    .end
    .method java.lang.Object put(java.lang.Class type, java.lang.Object o, java.lang.String[][] names, java.lang.Object k)
        return
    .end
.end
)");
    const ImageView& v = l->view;
    auto sym = [&](const std::string& s) { return l->label(s); };
    const std::uint32_t proxy = sym("_java_La_Store_024Proxy");
    // Its hierarchy ends with yq.kf.Proxy.
    const std::uint32_t depth = image::type_depth(v.at(proxy));
    EXPECT_EQ(v.u32(v.u32(proxy + image::kClassHierarchyOffset) + 4 * (depth - 1)), sym("_java_Lyq_kf_Proxy"));
    struct Case { const char* method; std::uint32_t frame_words; };
    // put: p5 and two positions (String[][]), no primitive words; total: p5,
    // no positions for an array of primitives, two result words.
    const Case cases[] = {
        {"a.Store$Proxy.put(Ljava.lang.Class;Ljava.lang.Object;[[Ljava.lang.String;Ljava.lang.Object;)Ljava.lang.Object;", 8},
        {"a.Store$Proxy.total([[I)J", 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method);
        const MethodSpan& m = l->method(c.method);
        const image::MethodHeader h = image::decode_method_header(v.at(m.method));
        EXPECT_EQ(h.frame_words, c.frame_words);
    }
    // The kinds of put: the result converted; the class argument, the
    // converted-to argument naming it (argument 0), unchanged, converted.
    const std::uint32_t store = sym("_java_La_Store");
    const std::uint32_t impl = sym("_java_La_Impl");
    const std::uint32_t it = v.u32(impl + image::kClassInterfaceTableOffset);
    const std::uint32_t imt = v.u32(it + 4 + 4 * (image::interface_id(v.at(store)) - v.u16(it)));
    const std::uint32_t d = v.u32(imt + v.u32(imt + 4));
    EXPECT_EQ(v.u32(d + 4), 4u);
    const std::uint8_t* kinds = static_cast<const std::uint8_t*>(v.at(d + 4 * (3 + 4) + 24));
    EXPECT_EQ(kinds[0], 1);
    EXPECT_EQ(kinds[1], 3);
    EXPECT_EQ(kinds[2], 2 | (0 << 3));
    EXPECT_EQ(kinds[3], 0);
    EXPECT_EQ(kinds[4], 1);
}

TEST(SharedInterfaces, TransferLinesThatCannotBeWritten) {
    struct Case { const char* what; std::string transfer; const char* message; };
    const Case cases[] = {
        {"unknown kind", ".transfer o sometimes", "unknown transfer kind 'sometimes'"},
        {"primitive", ".transfer n convert", "'n' is a primitive"},
        {"not a parameter", ".transfer x convert", "'x' is not a parameter"},
        {"twice", ".transfer o convert\n        .transfer o unchanged", "given twice"},
        {"own class", ".transfer o convert_to o", "cannot hold its own class"},
        {"class of a primitive", ".transfer o convert_to n", "'n' is a primitive"},
        {"no reference result", ".transfer return convert", "returns no reference"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string error = link_error(".interface shared a.S\n    .method int f(java.lang.Object o, int n)\n        " +
                                             c.transfer + "\n    .end\n.end\n");
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
    EXPECT_NE(link_error(".class a.C\n    .method void f()\n        .transfer return convert\n        return\n    .end\n.end\n")
                  .find("describes a method of an interface"),
              std::string::npos);
    EXPECT_NE(link_error(".interface shared a.S\n.end\n.class a.S$Proxy\n.end\n").find("is the name of the proxy class of a.S"),
              std::string::npos);
}

}  // namespace
}  // namespace tarvelo::imagelink
