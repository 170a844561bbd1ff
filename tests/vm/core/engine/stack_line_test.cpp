// The text of a stack-trace element for the class library: the method's
// address with "@M:" (or "@A:" for a method without a class) and the pc,
// each as "0x" and eight hexadecimal digits, cut to the array it goes to;
// and the Thread object of the current thread as its code sees it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <new>
#include <string>

#include "vm/core/engine/engine.h"
#include "vm/core/threads/vm_thread.h"

namespace {

using tarvelo::to_word;

// Method records: the class word, then a compact header.
alignas(4) std::uint8_t with_class[8] = {0x40, 0x30, 0x20, 0x10, 0x80};
alignas(4) std::uint8_t without_class[8] = {0, 0, 0, 0, 0x80};

std::string text_of(const std::uint16_t* chars, std::int32_t n) {
    std::string s;
    for (std::int32_t i = 0; i < n; ++i) s += static_cast<char>(chars[i]);
    return s;
}

std::string hex8(std::uint32_t v) {
    char buffer[11];
    std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(v));
    return buffer;
}

struct LineCase {
    const char* what;
    bool hasClass;
    std::int32_t capacity;
};

class StackLine : public testing::TestWithParam<LineCase> {};

TEST_P(StackLine, NamesTheMethodAndPcByAddress) {
    const LineCase& c = GetParam();
    const std::uint8_t* record = c.hasClass ? with_class : without_class;
    const tarvelo::word_t method = to_word(record);
    const tarvelo::word_t pc = method + 5 + 0x2A;
    std::string full = std::string(c.hasClass ? "@M:" : "@A:") + hex8(method) + ":" + hex8(pc) + "@";
    std::uint16_t chars[64];
    for (auto& ch : chars) ch = '#';
    const std::int32_t n = tarvelo::TulvarVMEngine::stackLineText(method, pc, chars, c.capacity);
    const std::string expected = full.substr(0, static_cast<std::size_t>(c.capacity));
    EXPECT_EQ(n, static_cast<std::int32_t>(expected.size())) << c.what;
    EXPECT_EQ(text_of(chars, n), expected) << c.what;
    EXPECT_EQ(chars[n], '#') << c.what;
}

const LineCase kLines[] = {
    {"kernel method", true, 64},
    {"method without a class", false, 64},
    {"exactly the text", true, 25},
    {"array too short", true, 10},
    {"empty array", false, 0},
};
INSTANTIATE_TEST_SUITE_P(Lines, StackLine, testing::ValuesIn(kLines));

alignas(tarvelo::VMThread) unsigned char thread_storage[sizeof(tarvelo::VMThread)];

// Thread objects as their owner words show them: two words of header.
alignas(8) std::uint32_t kernel_thread_object[2] = {0, 0};
alignas(8) std::uint32_t application_thread_object[2] = {0, 0x3000};

TEST(CurrentThreadObject, AnApplicationSeesItsOwnThreadObject) {
    auto* t = new (thread_storage) tarvelo::VMThread{};
    t->javaThread = tarvelo::to_word(kernel_thread_object);
    t->featureThreadObject = 0x2000;
    // A kernel thread calling into an application is still seen as itself.
    EXPECT_EQ(tarvelo::TulvarVMEngine::currentThreadObject(t), t->javaThread);
    t->ownerFeature = 0x3000;
    EXPECT_EQ(tarvelo::TulvarVMEngine::currentThreadObject(t), t->javaThread);
    // An application's thread is seen as itself by that application, and
    // as its kernel-owned second Thread object by another one.
    t->javaThread = tarvelo::to_word(application_thread_object);
    EXPECT_EQ(tarvelo::TulvarVMEngine::currentThreadObject(t), t->javaThread);
    t->ownerFeature = 0x4000;
    EXPECT_EQ(tarvelo::TulvarVMEngine::currentThreadObject(t), 0x2000u);
}

}  // namespace
