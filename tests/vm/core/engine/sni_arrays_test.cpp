// Java byte arrays handed to native code: an array outside the managed heap
// is used in place, the elements of a heap array are copied into and out of
// the native's buffer; bad arguments are refused with -2 and touch nothing.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>

#include "vm/core/engine/sni.h"
#include "vm/memory/memory_layout.h"

namespace {

using tarvelo::to_word;

constexpr std::int32_t kLength = 10;

// A byte array object: header, length word, then the elements.
struct alignas(8) ByteArray {
    std::uint32_t header[2];
    std::int32_t length;
    std::int8_t elements[kLength];
};

ByteArray heap_region[1];  // stands for the managed heap
ByteArray image_array;     // an array outside it

class SniArrays : public testing::Test {
protected:
    void SetUp() override {
        saved = tarvelo::memoryLayout();
        tarvelo::MemoryLayout layout = saved;
        layout.heapStart = to_word(heap_region);
        layout.heapEnd = to_word(heap_region + 1);
        tarvelo::setMemoryLayout(layout);
        for (ByteArray* a : {&heap_region[0], &image_array}) {
            a->length = kLength;
            for (int i = 0; i < kLength; ++i) a->elements[i] = static_cast<std::int8_t>(i + 1);
        }
        std::memset(buffer, 0x55, sizeof buffer);
    }
    void TearDown() override { tarvelo::setMemoryLayout(saved); }

    std::int8_t* heapArray() { return heap_region[0].elements; }
    std::int8_t* immortalArray() { return image_array.elements; }

    tarvelo::MemoryLayout saved{};
    std::int8_t buffer[16];
    std::int8_t* pointer = nullptr;
    std::int32_t pointerLength = -1;
};

struct BadRetrieve {
    const char* what;
    bool nullArray, nullBuffer, nullPointer, nullLength;
    std::int32_t offset, length, bufferLength;
};

TEST_F(SniArrays, RetrieveRefusesBadArgumentsWithoutTouchingAnything) {
    const BadRetrieve cases[] = {
        {"null array", true, false, false, false, 0, 4, 8},
        {"null buffer", false, true, false, false, 0, 4, 8},
        {"null out pointer", false, false, true, false, 0, 4, 8},
        {"null out length", false, false, false, true, 0, 4, 8},
        {"negative offset", false, false, false, false, -1, 4, 8},
        {"negative length", false, false, false, false, 0, -1, 8},
        {"negative buffer length", false, false, false, false, 0, 4, -1},
        {"one past the end", false, false, false, false, 6, 5, 8},
        {"offset and length overflow", false, false, false, false, INT_MAX, 2, 8},
    };
    for (const BadRetrieve& c : cases) {
        for (std::int8_t* array : {heapArray(), immortalArray()}) {
            pointer = nullptr;
            pointerLength = -1;
            EXPECT_EQ(SNI_retrieveArrayElements(c.nullArray ? nullptr : array, c.offset, c.length,
                                                c.nullBuffer ? nullptr : buffer, c.bufferLength,
                                                c.nullPointer ? nullptr : &pointer,
                                                c.nullLength ? nullptr : &pointerLength, true),
                      -2)
                << c.what;
            EXPECT_EQ(pointer, nullptr) << c.what;
            EXPECT_EQ(pointerLength, -1) << c.what;
            EXPECT_EQ(buffer[0], 0x55) << c.what;
        }
    }
}

TEST_F(SniArrays, RetrieveUsesAnImmortalArrayInPlace) {
    ASSERT_EQ(SNI_retrieveArrayElements(immortalArray(), 6, 4, buffer, 2, &pointer, &pointerLength, true), 0);
    EXPECT_EQ(pointer, immortalArray() + 6);
    EXPECT_EQ(pointerLength, 4);
    EXPECT_EQ(buffer[0], 0x55);
}

struct HeapRetrieve {
    std::int32_t offset, length, bufferLength;
    bool refresh;
    std::int32_t expectedLength;
};

TEST_F(SniArrays, RetrieveCopiesAHeapArrayIntoTheBufferOnlyOnRefresh) {
    const HeapRetrieve cases[] = {
        {2, 5, 16, true, 5},    // the whole range fits the buffer
        {0, 10, 4, true, 4},    // the buffer bounds what is copied
        {3, 0, 16, true, 0},    // nothing asked for
        {2, 5, 16, false, 5},   // no refresh: the buffer as it was
    };
    for (const HeapRetrieve& c : cases) {
        std::memset(buffer, 0x55, sizeof buffer);
        ASSERT_EQ(SNI_retrieveArrayElements(heapArray(), c.offset, c.length, buffer, c.bufferLength, &pointer,
                                            &pointerLength, c.refresh),
                  0);
        EXPECT_EQ(pointer, buffer);
        EXPECT_EQ(pointerLength, c.expectedLength);
        for (std::int32_t i = 0; i < c.expectedLength; ++i)
            EXPECT_EQ(buffer[i], c.refresh ? c.offset + i + 1 : 0x55) << "offset " << c.offset << " byte " << i;
        EXPECT_EQ(buffer[c.expectedLength], 0x55);
    }
}

struct BadFlush {
    const char* what;
    bool nullArray, nullBuffer;
    std::int32_t offset, length, bufferLength;
};

TEST_F(SniArrays, FlushRefusesBadArgumentsWithoutTouchingTheArray) {
    const BadFlush cases[] = {
        {"null array", true, false, 0, 4, 4},
        {"null buffer", false, true, 0, 4, 4},
        {"negative offset", false, false, -1, 4, 4},
        {"negative length", false, false, 0, -1, 0},
        {"negative buffer length", false, false, 0, 4, -1},
        {"past the end", false, false, 8, 4, 4},
        {"length below the buffer length", false, false, 0, 3, 4},
    };
    for (const BadFlush& c : cases) {
        EXPECT_EQ(SNI_flushArrayElements(c.nullArray ? nullptr : heapArray(), c.offset, c.length,
                                         c.nullBuffer ? nullptr : buffer, c.bufferLength),
                  -2)
            << c.what;
        for (int i = 0; i < kLength; ++i) EXPECT_EQ(heapArray()[i], i + 1) << c.what;
    }
}

TEST_F(SniArrays, FlushCopiesTheBufferIntoAHeapArrayOnly) {
    ASSERT_EQ(SNI_flushArrayElements(heapArray(), 4, 6, buffer, 3), 0);
    const std::int8_t heapExpected[kLength] = {1, 2, 3, 4, 0x55, 0x55, 0x55, 8, 9, 10};
    EXPECT_EQ(std::memcmp(heapArray(), heapExpected, kLength), 0);
    // An immortal array was used in place: there is nothing to copy back.
    ASSERT_EQ(SNI_flushArrayElements(immortalArray(), 4, 6, buffer, 3), 0);
    for (int i = 0; i < kLength; ++i) EXPECT_EQ(immortalArray()[i], i + 1);
}

}  // namespace
