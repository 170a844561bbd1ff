// The text of a stack-trace element for the class library: the method's
// address with "@M:" (or "@A:" for a method without a class) and the pc,
// each as "0x" and eight hexadecimal digits, after the "@F:" token of the
// application an application's method belongs to, cut to the array it goes
// to;
// and the Thread object of the current thread as its code sees it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "vm/core/engine/engine.h"
#include "vm/core/threads/vm_thread.h"

namespace {

using tarvelo::to_word;

// Method records: the class word, then a compact header; the class words
// are set to the type headers below.
alignas(4) std::uint8_t with_class[8] = {0, 0, 0, 0, 0x80};
alignas(4) std::uint8_t without_class[8] = {0, 0, 0, 0, 0x80};
alignas(4) std::uint8_t of_application[8] = {0, 0, 0, 0, 0x80};

// A kernel type (owner word 0) and an application's, whose owner word is
// its record: descriptor (word 2: the image start), module data whose
// fourth reference field is the name's byte array.
alignas(4) std::uint32_t kernel_type[4] = {0, 0, 0, 0};
alignas(4) std::uint32_t application_type[4] = {0, 0, 0, 0};
alignas(4) std::uint32_t descriptor[17] = {0, 0, 0x00C0FFEE};
alignas(4) std::uint32_t module_data[6] = {};  // four references, header, owner
alignas(4) std::uint8_t name_array[16] = {0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 'a', '.', 'B'};
alignas(4) std::uint32_t record[17] = {};

void set_word(void* at, std::uint32_t v) { std::memcpy(at, &v, 4); }

void set_up_records() {
    set_word(with_class, to_word(kernel_type));
    set_word(of_application, to_word(application_type));
    application_type[1] = to_word(record);
    record[0] = to_word(descriptor);
    record[1] = to_word(&module_data[4]);
    module_data[0] = to_word(name_array);
}

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
    const std::uint8_t* method;
    std::int32_t capacity;
};

class StackLine : public testing::TestWithParam<LineCase> {};

TEST_P(StackLine, NamesTheMethodAndPcByAddress) {
    const LineCase& c = GetParam();
    set_up_records();
    const tarvelo::word_t method = to_word(c.method);
    const tarvelo::word_t pc = method + 5 + 0x2A;
    // An application's method: its token first, the name "a.B" in
    // hexadecimal and its image start.
    const std::string token = c.method == of_application ? "@F:612E42:" + hex8(0x00C0FFEE) + "@" : "";
    std::string full = token + (c.method != without_class ? "@M:" : "@A:") + hex8(method) + ":" + hex8(pc) + "@";
    std::uint16_t chars[96];
    for (auto& ch : chars) ch = '#';
    const std::int32_t n = tarvelo::TulvarVMEngine::stackLineText(method, pc, chars, c.capacity);
    const std::string expected = full.substr(0, static_cast<std::size_t>(c.capacity));
    EXPECT_EQ(n, static_cast<std::int32_t>(expected.size())) << c.what;
    EXPECT_EQ(text_of(chars, n), expected) << c.what;
    EXPECT_EQ(chars[n], '#') << c.what;
}

const LineCase kLines[] = {
    {"kernel method", with_class, 64},
    {"method without a class", without_class, 64},
    {"exactly the text", with_class, 25},
    {"array too short", with_class, 10},
    {"empty array", without_class, 0},
    {"application's method", of_application, 90},
    {"application's method cut in its token", of_application, 8},
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
