#include <gtest/gtest.h>

#include "vm/model/object_header.h"

namespace tarvelo::memory {
namespace {

TEST(ObjectHeader, FieldsAreIndependent) {
    std::uint32_t h = immortal_header(0x3FFF0, 0x1F);
    EXPECT_EQ(h >> 24, 0x82u);
    EXPECT_EQ(header_type_offset(h), 0x3FFF0u);
    EXPECT_EQ(header_hash(h), 0x1Fu);
    h = header_with_monitor(h, 63);
    h = header_with_next_ref_words(h, 31);
    EXPECT_EQ(header_monitor(h), 63u);
    EXPECT_EQ(header_next_ref_words(h), 31u);
    EXPECT_EQ(header_type_offset(h), 0x3FFF0u);
    EXPECT_EQ(header_hash(h), 0x1Fu);
    EXPECT_TRUE(header_is_marked(h));
    EXPECT_TRUE(header_is_object(h));
    h = header_with_hash(h, 0x10);
    EXPECT_EQ(h & 0xFu, 0u);
    EXPECT_EQ(header_hash(h), 0x10u);
}

TEST(ArrayLayout, BlockSizes) {
    EXPECT_EQ(array_block_size(0, element_size(kElemInt)), 12u);
    EXPECT_EQ(array_block_size(5, element_size(kElemByte)), 20u);
    EXPECT_EQ(element_size(0x1000), 4u);  // reference elements
}

}  // namespace
}  // namespace tarvelo::memory
