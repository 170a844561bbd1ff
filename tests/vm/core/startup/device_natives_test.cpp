#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

extern "C" std::int32_t Java_yq_util_DeviceNatives_getArchitecture(std::int8_t* buffer, std::int32_t length);
extern "C" std::int32_t Java_yq_util_DeviceNatives_getId(std::int8_t* buffer, std::int32_t length);

namespace {

// A Java byte array as the natives see it: the length word, then the
// elements, then a guard the natives must never reach.
struct ByteArray {
    std::int32_t length;
    std::int8_t bytes[64];
    std::int8_t guard[16];

    explicit ByteArray(std::int32_t n) : length(n) {
        std::memset(bytes, 0x7F, sizeof bytes);
        std::memset(guard, 0x55, sizeof guard);
    }
    std::int8_t* elements() { return bytes; }
    bool untouchedFrom(std::int32_t from) const {
        for (std::int32_t i = from; i < static_cast<std::int32_t>(sizeof bytes); ++i)
            if (bytes[i] != 0x7F) return false;
        for (std::int8_t g : guard)
            if (g != 0x55) return false;
        return true;
    }
};

struct Case {
    std::int32_t arrayLength;  // -1: a null array
    std::int32_t lengthArgument;
    std::int32_t result;
};

}  // namespace

TEST(DeviceNatives, ArchitectureNeedsRoomForTheTerminatorInTheArrayItself) {
    for (Case c : {Case{14, 14, 0}, Case{15, 15, 1}, Case{64, 64, 1}, Case{0, 0, 0},
                   // The length argument is not the array's: the array decides.
                   Case{4, 100, 0}, Case{14, 15, 0}, Case{-1, 100, 0}, Case{64, 14, 0}}) {
        ByteArray array(c.arrayLength < 0 ? 0 : c.arrayLength);
        std::int8_t* elements = c.arrayLength < 0 ? nullptr : array.elements();
        EXPECT_EQ(Java_yq_util_DeviceNatives_getArchitecture(elements, c.lengthArgument), c.result)
            << c.arrayLength << " " << c.lengthArgument;
        if (c.result == 1) {
            EXPECT_STREQ(reinterpret_cast<char*>(array.bytes), "NXP-IMX-RT1170");
            EXPECT_TRUE(array.untouchedFrom(15));
        } else {
            EXPECT_TRUE(array.untouchedFrom(0)) << "array left alone: " << c.arrayLength << " " << c.lengthArgument;
        }
    }
}

TEST(DeviceNatives, IdNeedsSixteenBytesInTheArrayItself) {
    for (Case c : {Case{15, 15, 0}, Case{32, 32, 16}, Case{16, 16, 16}, Case{4, 100, 0}, Case{15, 16, 0},
                   Case{-1, 16, 0}, Case{32, 15, 0}}) {
        ByteArray array(c.arrayLength < 0 ? 0 : c.arrayLength);
        std::int8_t* elements = c.arrayLength < 0 ? nullptr : array.elements();
        EXPECT_EQ(Java_yq_util_DeviceNatives_getId(elements, c.lengthArgument), c.result)
            << c.arrayLength << " " << c.lengthArgument;
        EXPECT_TRUE(array.untouchedFrom(c.result)) << c.arrayLength << " " << c.lengthArgument;
    }
    ByteArray a(16), b(32);
    ASSERT_EQ(Java_yq_util_DeviceNatives_getId(a.elements(), 16), 16);
    ASSERT_EQ(Java_yq_util_DeviceNatives_getId(b.elements(), 32), 16);
    EXPECT_EQ(std::memcmp(a.bytes, b.bytes, 16), 0) << "the id is stable";
}
