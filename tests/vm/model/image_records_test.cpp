// Encoding and decoding of the image records shared by the linker and the VM.
#include <gtest/gtest.h>

#include "vm/model/method_record.h"
#include "vm/model/string_record.h"
#include "vm/model/type_record.h"

namespace tarvelo::image {
namespace {

TEST(MethodHeader, CompactAndFullFormsRoundTrip) {
    struct Case { MethodHeader h; bool compact; };
    const Case cases[] = {
        {{false, false, false, 0, 0, 0, 10, 0, 0}, true},   // Math.max(long, long)
        {{false, true, false, 0, 2, 3, 12, 0, 0}, true},
        {{false, false, false, 0, 3, 5, 5, 0, 0}, false},   // two extra refs below the base
        {{false, true, false, 2, 1, 1, 6, 1, 0}, false},    // handlers
        {{false, false, true, 0, 0, 0, 5, 0, 0}, false},    // keep context
        {{false, false, false, 0, 0, 0, 13, 0, 0}, false},  // 8 primitive words
        {{false, false, false, 0, 0, 0, 5, 0, 3}, false},   // words below the frame record
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fits_compact_header(c.h), c.compact);
        std::uint8_t rec[12] = {};
        if (c.compact) {
            rec[4] = encode_compact_header(c.h);
        } else {
            encode_full_header(c.h, rec + 4);
        }
        const MethodHeader d = decode_method_header(rec);
        EXPECT_EQ(d.compact, c.compact);
        EXPECT_EQ(d.returns_ref, c.h.returns_ref);
        EXPECT_EQ(d.ref_args, c.h.ref_args);
        EXPECT_EQ(d.ref_base, c.h.ref_base);
        EXPECT_EQ(d.frame_words, c.h.frame_words);
        EXPECT_EQ(d.code_offset(), c.compact ? 5u : 10u);
        if (!c.compact) {
            EXPECT_EQ(d.handler_count, c.h.handler_count);
            EXPECT_EQ(d.keep_context, c.h.keep_context);
            EXPECT_EQ(d.refs_above, c.h.refs_above);
            EXPECT_EQ(d.prim_below, c.h.prim_below);
        }
    }
    // Math.max's one-byte header: compact, 5 primitive words.
    EXPECT_EQ(encode_compact_header(cases[0].h), 0x94);
}

TEST(StringHash, MatchesTheStandardStringHash) {
    struct Case { const char16_t* s; std::size_t n; std::uint32_t hash; };
    const Case cases[] = {
        {u"", 0, 0u},
        {u"a", 1, 97u},
        {u"main", 4, 3343801u},
        {u"KERNEL", 6, 0x83ee403du},
        {u"Stream closed", 13, 0x3476b9ecu},
        {u"\uffff\uffff", 2, 0xffffu * 31u + 0xffffu},
    };
    for (const Case& c : cases) EXPECT_EQ(string_hash(c.s, c.n), c.hash);
    EXPECT_EQ(string_hash_latin1("main", 4), 3343801u);
}

TEST(TypeRecord, RecordSizesByKind) {
    EXPECT_EQ(type_record_size(0), kClassHeaderSize);
    EXPECT_EQ(type_record_size(kTypeArray), kArrayTypeHeaderSize);
    EXPECT_EQ(type_record_size(kTypeInterface | kTypeAbstract), kAbstractHeaderSize);
    EXPECT_EQ(type_record_size(kTypeAbstract), kAbstractHeaderSize);
    EXPECT_EQ(letter_to_type_code('J'), 11);
    EXPECT_EQ(type_code_to_letter(5), 'C');
}

}  // namespace
}  // namespace tarvelo::image
