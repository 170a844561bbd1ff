// The image linked into this program by the build: its symbols, its
// configuration overrides and its RAM areas, and the verifier run on the
// copy the program holds in memory.
#include <gtest/gtest.h>

#include "platform/address.h"
#include "tools/imagelink/decoder.h"
#include "tools/imagelink/verifier.h"
#include "vm/core/bytecode/opcodes.h"
#include "vm/model/image_format.h"
#include "vm/model/image_symbols.h"
#include "vm/model/string_record.h"

extern "C" {
extern const char _tarvelo_method_index_start[];
extern const char _tarvelo_method_index_end[];
extern const char _java_Stest_linked_Main__counter[];
extern const char _java_Stest_linked_Main__flag[];
extern const char _java_Stest_linked_Main__wide[];
extern const char _java_Stest_linked_Main__holder[];
extern const char _java_Ljava_lang_String[];
extern const char _java_Ljava_lang_Object[];
extern const char _java_Ljava_lang_Class[];
extern const char _java_Mjava_lang_Thread__clinitWrapper[];
extern const char _java_Mjava_lang_Thread__callWrapper[];
extern const char _java_Mjava_lang_Thread__runWrapper[];
extern const char _java_Mjava_lang_Thread__storeException[];
extern const char _java_Mjava_lang_Throwable__printStackTrace[];
extern const char _java_Sjava_lang_MainThread__Args[];
extern const char _java_Ljava_lang_Thread[];
extern const char _java_Ljava_lang_Throwable[];
}

namespace tarvelo::imagelink {
namespace {

word_t w(const void* p) { return to_word(p); }

ImageView linked_view() {
    ImageRegions r;
    r.types_start = w(_java_header_types_start);
    r.concrete_end = w(_java_header_concretetypes_end);
    r.types_end = w(_java_header_types_end);
    r.file_header = w(_java_vornfile_header_start);
    r.clinits_start = w(_java_clinits_start);
    r.clinits_end = w(_java_clinits_end);
    r.class_names_start = w(_java_class_names_start);
    r.class_names_end = w(_java_class_names_end);
    r.resources_start = w(_java_resource_names_start);
    r.resources_end = w(_java_resource_names_end);
    r.addresses_start = w(_java_kernel_addresses_table_start);
    r.addresses_end = w(_java_kernel_addresses_table_end);
    r.strings_start = w(_java_internStrings_start);
    r.strings_end = w(_java_internStrings_end);
    r.shared_array = w(_java_sharedarray_start);
    r.string_type = w(_java_Ljava_lang_String);
    r.object_type = w(_java_Ljava_lang_Object);
    r.class_type = w(_java_Ljava_lang_Class);
    std::vector<MethodSpan> methods;
    for (const char* p = _tarvelo_method_index_start; p < _tarvelo_method_index_end; p += 16) {
        MethodSpan m;
        m.record = image::read_u32(p);
        m.method = image::read_u32(p + 4);
        m.code = image::read_u32(p + 8);
        m.code_end = image::read_u32(p + 12);
        m.name = "method@" + std::to_string(m.method);
        methods.push_back(m);
    }
    const word_t start = w(_java_vornsection_header_start);
    return ImageView(reinterpret_cast<const std::uint8_t*>(_java_vornsection_header_start), start,
                     w(_java_vornsection_end) - start, r, std::move(methods));
}

TEST(LinkedImage, TheImageInMemoryPassesTheVerifier) {
    const ImageView v = linked_view();
    ASSERT_GT(v.methods().size(), 10u);
    for (const std::string& p : verify_image(v)) ADD_FAILURE() << p;
    EXPECT_EQ(image::read_u32(_java_vornfile_header_start + image::kFileHeaderMagicOffset), image::kImageMagic);
    EXPECT_EQ(w(_java_vornsection_header_start) % 16, 0u);
    // The inline routine of main decodes through the kernel addresses table.
    bool inline_found = false;
    for (const MethodSpan& m : v.methods()) {
        std::vector<Instruction> code;
        std::string why;
        ASSERT_TRUE(decode_range(v, m.code, m.code_end, code, &why)) << why;
        for (const Instruction& i : code) inline_found |= i.opcode == bytecode::OPnative_code;
    }
    EXPECT_TRUE(inline_found);
}

TEST(LinkedImage, ConfigurationOverridesAndDefaults) {
    EXPECT_EQ(link_value(_java_max_nb_standaloneEngines), 63u);
    EXPECT_EQ(link_value(_java_heap_size), 4096u);
    EXPECT_EQ(link_value(_java_max_nb_monitors_per_thread), 10u);
    EXPECT_EQ(link_value(_java_round_robin_period), 21u);
    EXPECT_EQ(link_value(QUEUE_BUFFER_SIZE), 100u);
    EXPECT_EQ(w(_java_heap_end) - w(_java_heap_start), 4096u);
    EXPECT_EQ(w(_java_immortals_end) - w(_java_immortals_start), link_value(_java_immortals_size));
    EXPECT_EQ(w(_java_oome_frames_end) - w(_java_oome_frames_start), 4 + 8 * link_value(_java_oome_nb_frames));
    EXPECT_EQ(w(_java_features_dynamic_end) - w(_java_features_dynamic_start), 4 * link_value(_java_max_nb_dynamic_features));
    // The kernel header's last words bound the application code chunk.
    const char* kh = _java_kernel_header_start;
    EXPECT_EQ(image::read_u32(kh + 4 * image::kKernelCodeChunkStart), w(_java_kernel_code_chunk_start));
    EXPECT_EQ(image::read_u32(kh + 4 * image::kKernelCodeChunkEnd), w(_java_kernel_code_chunk_end));
}

TEST(LinkedImage, StaticsLieInTheirAreasAndTheHeapFollows) {
    struct Case { const char* field; const char* start; const char* end; std::uint32_t align; };
    const Case cases[] = {
        {_java_Stest_linked_Main__flag, _java_statics_bt1_start, _java_statics_bt1_end, 1},
        {_java_Stest_linked_Main__counter, _java_statics_bt4_start, _java_statics_bt4_end, 4},
        {_java_Stest_linked_Main__wide, _java_statics_bt8_start, _java_statics_bt8_end, 8},
        {_java_Stest_linked_Main__holder, _java_statics_ref_start, _java_statics_ref_end, 4},
    };
    for (const Case& c : cases) {
        EXPECT_GE(w(c.field), w(c.start));
        EXPECT_LT(w(c.field), w(c.end));
        EXPECT_EQ(w(c.field) % c.align, 0u);
    }
    EXPECT_EQ(w(_java_statics_ref_end), w(_java_heap_start));
    EXPECT_LE(w(_java_statics_refls_kernel_start), w(_java_statics_refls_kernel_end));
    // The main method stores into the static by its address.
    bool stores = false;
    const ImageView v = linked_view();
    for (const MethodSpan& m : v.methods()) {
        std::vector<Instruction> code;
        std::string why;
        decode_range(v, m.code, m.code_end, code, &why);
        for (const Instruction& i : code)
            if (i.opcode == bytecode::OPputstatic_int && i.operands[1].value == w(_java_Stest_linked_Main__counter)) stores = true;
    }
    EXPECT_TRUE(stores);
}

// The methods the virtual machine enters by symbol are method records of
// their classes.
TEST(LinkedImage, MethodsTheVirtualMachineEnters) {
    const ImageView v = linked_view();
    struct Case { const char* method; const char* owner; };
    const Case cases[] = {
        {_java_Mjava_lang_Thread__clinitWrapper, _java_Ljava_lang_Thread},
        {_java_Mjava_lang_Thread__callWrapper, _java_Ljava_lang_Thread},
        {_java_Mjava_lang_Thread__runWrapper, _java_Ljava_lang_Thread},
        {_java_Mjava_lang_Thread__storeException, _java_Ljava_lang_Thread},
        {_java_Mjava_lang_Throwable__printStackTrace, _java_Ljava_lang_Throwable},
    };
    for (const Case& c : cases) {
        EXPECT_NE(v.method_at(w(c.method)), nullptr);
        EXPECT_EQ(image::read_u32(c.method), w(c.owner));
    }
    // callWrapper: a thread-bottom step first, its handler catching anything.
    EXPECT_EQ(v.u8(w(_java_Mjava_lang_Thread__callWrapper) + 10), bytecode::OPthread_bottom2);
    EXPECT_EQ(v.u8(w(_java_Mjava_lang_Thread__callWrapper) + 11), bytecode::OPthread_bottom);
    EXPECT_EQ(v.u32(w(_java_Mjava_lang_Thread__callWrapper) - 16), 0u);  // catch type: any
    EXPECT_GE(w(_java_Sjava_lang_MainThread__Args), w(_java_statics_ref_start));
    EXPECT_LT(w(_java_Sjava_lang_MainThread__Args), w(_java_statics_ref_end));
}

TEST(LinkedImage, VmStringsAndProperties) {
    auto text = [](const char* symbol) {
        // Through a word: the symbol's declared extent says nothing of the record.
        const char* ref = to_ptr<const char>(w(symbol));
        const word_t array = image::read_u32(to_ptr<const char>(w(ref) - 4));
        const std::uint32_t off = image::read_u32(ref + image::kStringOffsetField);
        const std::uint32_t n = image::read_u32(ref + image::kStringCountField);
        std::string s;
        for (std::uint32_t k = 0; k < n; ++k) s += static_cast<char>(image::read_u16(to_ptr<const char>(array) + 12 + 2 * (off + k)));
        return s;
    };
    EXPECT_EQ(text(_java_main_thread_name), "main");
    EXPECT_EQ(text(_java_sni_native_resource_owner), "KERNEL");
    EXPECT_EQ(image::read_u32(_java_properties_Keys + 8), 1u);
    EXPECT_EQ(text(to_ptr<const char>(image::read_u32(_java_properties_Keys + 12))), "answer");
    EXPECT_EQ(text(to_ptr<const char>(image::read_u32(_java_properties_Values + 12))), "42");
}

}  // namespace
}  // namespace tarvelo::imagelink
