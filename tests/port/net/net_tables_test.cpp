// The errno translation table and the prefix length of a netmask.
#include <gtest/gtest.h>

#include "port/net/net_errors.h"
#include "port/net/network_interfaces.h"

namespace {

TEST(ErrnoTable, ListedNumbersAndTheRest) {
    struct Case {
        int error;
        int code;
    } cases[] = {{9, -3},    {12, -19},  {13, -2},   {22, -9},   {23, -19},  {28, -19},   {32, -17},
                 {90, -16},  {92, -10},  {97, -12},  {98, -7},   {100, -5},  {101, -6},   {103, -8},
                 {104, -15}, {105, -19}, {106, -14}, {107, -11}, {110, -18}, {111, -13},  {112, -4},
                 {113, -20}, {11, -255}, {115, -255}, {120, -255}, {8, -255}, {114, -255}, {-1, -255},
                 {0, -255}};
    for (const Case& c : cases) EXPECT_EQ(LLNET_map_to_java_exception(c.error), c.code) << "errno " << c.error;
}

TEST(ErrnoTable, MessageNeverEmpty) {
    EXPECT_STREQ(LLNET_get_socket_error_msg(111), "Connection refused");
    EXPECT_NE(LLNET_get_socket_error_msg(100000)[0], '\0');
}

// Masks as lwIP holds them: network byte order in a little-endian word.
constexpr std::uint32_t net(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    return static_cast<std::uint32_t>(a) | (static_cast<std::uint32_t>(b) << 8) | (static_cast<std::uint32_t>(c) << 16) |
           (static_cast<std::uint32_t>(d) << 24);
}

TEST(PrefixLength, WholeAndPartialBytes) {
    using tarvelo::net::prefix_length;
    EXPECT_EQ(prefix_length(net(255, 255, 255, 0)), 24);
    EXPECT_EQ(prefix_length(net(255, 255, 0, 0)), 16);
    EXPECT_EQ(prefix_length(net(255, 255, 255, 128)), 25);  // counting zero bits as stored gave 32
    EXPECT_EQ(prefix_length(net(255, 255, 254, 0)), 23);    // ... and 24
    EXPECT_EQ(prefix_length(net(255, 255, 255, 255)), 32);
    EXPECT_EQ(prefix_length(net(128, 0, 0, 0)), 1);
    EXPECT_EQ(prefix_length(0), 0);
}

}  // namespace
