#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

extern "C" std::int32_t Java_yq_util_DeviceNatives_getArchitecture(std::int8_t* buffer, std::int32_t length);
extern "C" std::int32_t Java_yq_util_DeviceNatives_getId(std::int8_t* buffer, std::int32_t length);

TEST(DeviceNatives, ArchitectureNeedsRoomForTheTerminator) {
    struct Case {
        std::int32_t length;
        std::int32_t result;
    };
    for (Case c : {Case{14, 0}, Case{15, 1}, Case{64, 1}, Case{0, 0}}) {
        std::int8_t buffer[64];
        std::memset(buffer, 0x7F, sizeof buffer);
        EXPECT_EQ(Java_yq_util_DeviceNatives_getArchitecture(buffer, c.length), c.result) << c.length;
        if (c.result == 1)
            EXPECT_STREQ(reinterpret_cast<char*>(buffer), "NXP-IMX-RT1170");
        else
            EXPECT_EQ(buffer[0], 0x7F) << "buffer left alone";
    }
}

TEST(DeviceNatives, IdNeedsSixteenBytes) {
    std::int8_t buffer[32] = {};
    EXPECT_EQ(Java_yq_util_DeviceNatives_getId(buffer, 15), 0);
    EXPECT_EQ(Java_yq_util_DeviceNatives_getId(buffer, 32), 16);
    std::int8_t again[16] = {};
    EXPECT_EQ(Java_yq_util_DeviceNatives_getId(again, 16), 16);
    EXPECT_EQ(std::memcmp(buffer, again, 16), 0) << "the id is stable";
}
