// An exception that no frame above a cross-application proxy frame handles
// ends the search at the proxy: the proxy's caller resumes at the proxy's
// return position with the result code 5, the exception is printed first
// (the kernel's dump setting is 2), and the caller is found also when the
// proxy frame opened a new stack block.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "vm/core/engine/engine.h"
#include "vm/core/threads/java_stack.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/memory_layout.h"

namespace {

using tarvelo::FrameRecord;
using tarvelo::StackBlock;
using tarvelo::to_word;
using tarvelo::word_t;

constexpr std::uint32_t kBlock = 512;
constexpr std::uint32_t kFrameBytes = 24;  // the methods' frame: the record and one primitive word
constexpr word_t kProxyReturnPc = 0x1234;

alignas(8) std::uint8_t blocks[2][kBlock];
// Two methods without a class, compact header with one primitive word.
alignas(4) std::uint8_t methods[2][8];
// A type without a name record, and an exception of it without message or
// stack trace (its two reference fields lie below its header).
alignas(8) std::uint8_t types[128];
alignas(8) std::uint32_t exception_storage[8];
alignas(tarvelo::VMThread) unsigned char thread_storage[sizeof(tarvelo::VMThread)];

struct ProxyCase {
    const char* what;
    bool proxyOpensBlock;
};

class ProxyFrame : public testing::TestWithParam<ProxyCase> {
protected:
    void SetUp() override {
        saved = tarvelo::memoryLayout();
        tarvelo::MemoryLayout layout = saved;
        layout.typesBase = to_word(types);
        tarvelo::setMemoryLayout(layout);
        std::memset(blocks, 0, sizeof blocks);
        std::memset(methods, 0, sizeof methods);
        std::memset(types, 0, sizeof types);
        std::memset(exception_storage, 0, sizeof exception_storage);
        for (auto& m : methods) m[4] = 0x84;
        exception_storage[4] = 0x10;  // header: the type at offset 16
        exception = to_word(&exception_storage[4]);
        new (thread_storage) tarvelo::VMThread{};
        thread.threadId = tarvelo::make_thread_id(3, 7);
    }
    void TearDown() override { tarvelo::setMemoryLayout(saved); }

    static StackBlock* block(int i) { return reinterpret_cast<StackBlock*>(blocks[i]); }
    static FrameRecord* frameAt(std::uint8_t* p) { return reinterpret_cast<FrameRecord*>(p); }

    tarvelo::MemoryLayout saved{};
    word_t exception = 0;
    tarvelo::VMThread& thread = *reinterpret_cast<tarvelo::VMThread*>(thread_storage);
};

TEST_P(ProxyFrame, ItsCallerGetsTheResultCodeAfterThePrint) {
    const ProxyCase& c = GetParam();
    StackBlock* first = block(0);
    first->size = kBlock;
    // The caller: the thread's first frame, at the end of its first block.
    FrameRecord* caller = frameAt(blocks[0] + kBlock - kFrameBytes);
    caller->flags = tarvelo::kFrameFirst | tarvelo::kFrameNewBlock;
    caller->method = to_word(methods[0]);
    FrameRecord* proxy;
    StackBlock* proxyBlock;
    if (c.proxyOpensBlock) {
        StackBlock* second = block(1);
        second->size = kBlock;
        second->index = 1;
        second->link.set(first);
        first->savedFrame = static_cast<std::uint16_t>(kBlock - kFrameBytes);
        first->savedRefWindow = sizeof(StackBlock);
        first->savedPrimTop = static_cast<std::uint16_t>((kBlock - kFrameBytes) / 4);
        first->savedRefArgs = sizeof(StackBlock) / 4;
        proxy = frameAt(blocks[1] + kBlock - kFrameBytes);
        proxy->flags = tarvelo::kFrameProxyCall | tarvelo::kFrameNewBlock;
        proxyBlock = second;
    } else {
        proxy = frameAt(blocks[0] + kBlock - 2 * kFrameBytes);
        proxy->flags = tarvelo::kFrameProxyCall | kFrameBytes;
        proxyBlock = first;
    }
    proxy->method = to_word(methods[1]);
    proxy->returnPc = kProxyReturnPc;
    thread.currentFrame = to_word(proxy);
    thread.refWindow = to_word(proxyBlock->firstRef());
    thread.currentBlock.set(proxyBlock);
    thread.topBlock.set(proxyBlock);
    thread.pc = to_word(methods[1]) + 5;
    thread.pendingException = exception;

    testing::internal::CaptureStdout();
    tarvelo::TulvarVMEngine::throwPendingException(&thread);
    const std::string printed = testing::internal::GetCapturedStdout();

    EXPECT_EQ(thread.currentFrame, to_word(caller)) << c.what;
    EXPECT_EQ(thread.currentBlock.get(), first) << c.what;
    EXPECT_EQ(thread.refWindow, to_word(first->firstRef())) << c.what;
    EXPECT_EQ(thread.pc, kProxyReturnPc) << c.what;
    EXPECT_EQ(caller->prim()[5], 5) << c.what;
    EXPECT_EQ(thread.pendingException, 0u) << c.what;
    const std::string head = "Exception in thread \"" + std::to_string(thread.threadId.load()) + "\" @C:0x";
    EXPECT_EQ(printed.rfind(head, 0), 0u) << c.what << ": " << printed;
}

const ProxyCase kProxyCases[] = {
    {"caller in the same block", false},
    {"proxy frame opened a new block", true},
};
INSTANTIATE_TEST_SUITE_P(Proxies, ProxyFrame, testing::ValuesIn(kProxyCases));

}  // namespace
