#include "vm/core/runtime_support/system_out.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>

namespace tarvelo::rt {
namespace {

// What a piece of console output puts on the debug console (the process's
// standard output on the host).
std::string console_output(const std::function<void()>& print) {
    testing::internal::CaptureStdout();
    print();
    return testing::internal::GetCapturedStdout();
}

TEST(SystemOut, EachFormAsItReachesTheConsole) {
    const struct {
        const char* name;
        std::function<void()> print;
        std::string expected;
    } cases[] = {
        {"address", [] { SystemOut::printAddress(0x12AB34CDu); }, "12AB34CD"},
        {"small address", [] { SystemOut::printAddress(0x0000F00Du); }, "0000F00D"},
        {"top address", [] { SystemOut::printAddress(0xFFFFFFFFu); }, "FFFFFFFF"},
        {"int min", [] { SystemOut::printInt(std::numeric_limits<std::int32_t>::min()); },
         "-2147483648"},
        {"int zero", [] { SystemOut::printInt(0); }, "0"},
        {"long min", [] { SystemOut::printLong(std::numeric_limits<std::int64_t>::min()); },
         "-9223372036854775808"},
        {"char low byte", [] { SystemOut::printChar(0x0141); }, "A"},
        {"ascii low byte", [] { SystemOut::printAsciiCharacter(0x2042); }, "B"},
        {"string", [] { SystemOut::print(std::string_view("a\0b", 3)); }, std::string("a\0b", 3)},
        {"line", [] { SystemOut::println("Exception in thread "); }, "Exception in thread \n"},
        {"empty line", [] { SystemOut::println(); }, "\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(console_output(c.print), c.expected) << c.name;
    }
}

}  // namespace
}  // namespace tarvelo::rt
