// The dispatch loop's inline invocation and return build exactly the frame
// and thread state the engine's full path builds (same block bytes, same
// thread words, same stack meter), for both header forms; and they decline
// without writing anything in every case they leave to the engine.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <new>

#include "vm/core/engine/activation_fast_path.h"
#include "vm/core/engine/engine.h"
#include "vm/core/interpreter/interpreter.h"
#include "vm/core/threads/java_stack.h"
#include "vm/core/threads/vm_thread.h"

namespace {

using tarvelo::FrameRecord;
using tarvelo::StackBlock;
using tarvelo::to_word;
using tarvelo::word_t;

constexpr std::uint32_t kBlock = 512;
constexpr word_t kReturnPc = 0x10000123;
constexpr word_t kCallerPc = 0x10000077;

alignas(8) std::uint8_t block_bytes[2][kBlock];
alignas(4) std::uint8_t caller_method[12];
alignas(4) std::uint8_t callee_method[12];
alignas(8) std::uint32_t receiver_storage[4];
alignas(tarvelo::VMThread) unsigned char thread_storage[sizeof(tarvelo::VMThread)];
tarvelo::JavaStackMeter meter;

// The caller: full header, one kept reference argument, one reference
// register below the base, two above, two primitive words and four below
// the record (its outgoing area).
constexpr std::array<std::uint8_t, 6> kCallerHeader = {0x00, 0x01, 0x02, 0x07, 0x02, 0x04};
constexpr std::uint32_t kCallerFrameWords = 7;

struct CallCase {
    const char* what;
    std::array<std::uint8_t, 6> header;  // bytes +4 .. +9 of the callee
    std::int32_t leastFree;              // the meter before the call
    bool ownReceiver;                    // a receiver owned by the kernel
};

const CallCase kCalls[] = {
    {"compact, no reference arguments", {0x80 | (3 << 2), 0, 0, 0, 0, 0}, 10000, false},
    {"compact, kept and extra references", {0x80 | 0x20 | (2 << 2) | 2, 0, 0, 0, 0, 0}, 10000, true},
    {"full, references above and primitives below", {0x00, 0x02, 0x03, 0x08, 0x02, 0x03}, 10000, true},
    {"full, meter already lower", {0x00, 0x01, 0x01, 0x06, 0x01, 0x01}, 4, false},
    {"full, keeps the context", {0x00, 0x81, 0x01, 0x05, 0x00, 0x00}, 10000, true},
};

struct Snapshot {
    std::array<std::uint8_t, sizeof block_bytes> blocks;
    word_t currentFrame, refWindow, pc, thisObject, ownerFeature;
    StackBlock* currentBlock;
    StackBlock* meterBlock;
    std::int32_t leastFree;

    bool operator==(const Snapshot&) const = default;
};

class ActivationFastPath : public testing::Test {
public:
    tarvelo::VMThread& thread = *reinterpret_cast<tarvelo::VMThread*>(thread_storage);

    static StackBlock* block(int i) { return reinterpret_cast<StackBlock*>(block_bytes[i]); }
    static FrameRecord* caller() {
        return reinterpret_cast<FrameRecord*>(block_bytes[0] + kBlock - 4 * kCallerFrameWords);
    }
    static word_t* refArgs() { return block(0)->firstRef() + 3; }  // the caller's r0
    static std::int32_t* primTop() { return caller()->prim() - 4; }

    // A thread in its first frame at the end of block 0, every reference
    // slot holding a mark so that clearing shows.
    void prepare(const std::array<std::uint8_t, 6>& callee, std::int32_t leastFree, bool ownReceiver) {
        std::memset(block_bytes, 0, sizeof block_bytes);
        for (std::uint32_t i = 0; i < 40; ++i) block(0)->firstRef()[i] = 0xAB000000u + i;
        block(0)->size = kBlock;
        block(1)->size = kBlock;
        std::memset(caller_method, 0, sizeof caller_method);
        std::memcpy(caller_method + 4, kCallerHeader.data(), 6);
        std::memset(callee_method, 0, sizeof callee_method);
        std::memcpy(callee_method + 4, callee.data(), 6);
        std::memset(receiver_storage, 0, sizeof receiver_storage);
        new (thread_storage) tarvelo::VMThread{};
        FrameRecord* c = caller();
        c->flags = tarvelo::kFrameFirst | tarvelo::kFrameNewBlock;
        c->method = to_word(caller_method);
        thread.currentFrame = to_word(c);
        thread.refWindow = to_word(block(0)->firstRef() + 1);
        thread.currentBlock.set(block(0));
        thread.topBlock.set(block(0));
        meter.block.set(block(0));
        meter.leastFree = leastFree;
        thread.stackMeter.set(&meter);
        thread.pc = kReturnPc;
        thread.thisObject = ownReceiver ? to_word(&receiver_storage[0]) : 0;
    }

    Snapshot snapshot() const {
        Snapshot s{};
        std::memcpy(s.blocks.data(), block_bytes, sizeof block_bytes);
        s.currentFrame = thread.currentFrame;
        s.refWindow = thread.refWindow;
        s.pc = thread.pc;
        s.thisObject = thread.thisObject;
        s.ownerFeature = thread.ownerFeature;
        s.currentBlock = thread.currentBlock.get();
        s.meterBlock = meter.block.get();
        s.leastFree = meter.leastFree;
        return s;
    }

    bool fastInvoke() {
        const std::uint8_t* code = nullptr;
        std::int32_t* P = nullptr;
        word_t* R = nullptr;
        const bool done = tarvelo::try_fast_invoke(&thread, to_word(callee_method), refArgs(), primTop(), kReturnPc,
                                                   &code, &P, &R);
        if (done) {
            EXPECT_EQ(to_word(code), thread.pc);
            EXPECT_EQ(to_word(P), thread.currentFrame);
            EXPECT_EQ(to_word(R), thread.refWindow);
        }
        return done;
    }
    bool fastReturn(word_t* lowest) {
        const std::uint8_t* code = nullptr;
        std::int32_t* P = nullptr;
        word_t* R = nullptr;
        const bool done = tarvelo::try_fast_return(&thread, lowest, &code, &P, &R);
        if (done) {
            EXPECT_EQ(to_word(code), thread.pc);
            EXPECT_EQ(to_word(P), thread.currentFrame);
            EXPECT_EQ(to_word(R), thread.refWindow);
        }
        return done;
    }
    // The lowest reference slot a return leaves: the callee's lowest.
    word_t* calleeLowest() const { return refArgs(); }
};

TEST_F(ActivationFastPath, CallAndReturnMatchTheEnginesPath) {
    for (const CallCase& c : kCalls) {
        prepare(c.header, c.leastFree, c.ownReceiver);
        ASSERT_TRUE(tarvelo::TulvarVMEngine::invokeMethod(&thread, to_word(callee_method), refArgs(), primTop()))
            << c.what;
        const Snapshot slowCall = snapshot();
        thread.pc = kCallerPc;  // the callee ran a little
        ASSERT_TRUE(tarvelo::LLOSTV_return_method(&thread, calleeLowest())) << c.what;
        const Snapshot slowReturn = snapshot();

        prepare(c.header, c.leastFree, c.ownReceiver);
        ASSERT_TRUE(fastInvoke()) << c.what;
        EXPECT_TRUE(snapshot() == slowCall) << c.what;
        thread.pc = kCallerPc;
        ASSERT_TRUE(fastReturn(calleeLowest())) << c.what;
        EXPECT_TRUE(snapshot() == slowReturn) << c.what;
        EXPECT_EQ(thread.pc, kReturnPc) << c.what;
    }
}

TEST_F(ActivationFastPath, DeclinesWithoutWritingWhatTheEngineMustDo) {
    const std::array<std::uint8_t, 6> callee = {0x00, 0x01, 0x01, 0x06, 0x01, 0x01};
    struct Decline {
        const char* what;
        void (*arrange)(ActivationFastPath&);
        bool noRoom;  // the arguments sit where the callee's frame would meet them
    };
    const Decline calls[] = {
        {"receiver of an installed application",
         [](ActivationFastPath& f) {
             receiver_storage[1] = 0x20001000;  // owner word: an application
             f.thread.thisObject = to_word(&receiver_storage[0]);
         },
         false},
        {"no room left in the block", [](ActivationFastPath&) {}, true},
        {"meter watches another block", [](ActivationFastPath&) { meter.block.set(block(1)); }, false},
        {"no frame yet", [](ActivationFastPath& f) { f.thread.currentFrame = 0; }, false},
    };
    for (const Decline& d : calls) {
        prepare(callee, 10000, false);
        d.arrange(*this);
        const Snapshot before = snapshot();
        const std::uint8_t* code = nullptr;
        std::int32_t* P = nullptr;
        word_t* R = nullptr;
        std::int32_t* top = d.noRoom ? reinterpret_cast<std::int32_t*>(refArgs() + 6) : primTop();
        EXPECT_FALSE(
            tarvelo::try_fast_invoke(&thread, to_word(callee_method), refArgs(), top, kReturnPc, &code, &P, &R))
            << d.what;
        EXPECT_TRUE(snapshot() == before) << d.what;
    }

    // Returns: into a frame whose saved context is an application's, and
    // from a frame that opened its block.
    for (int kind = 0; kind < 2; ++kind) {
        prepare(callee, 10000, false);
        ASSERT_TRUE(fastInvoke());
        if (kind == 0) caller()->savedContext = 0x20001000;
        else thread.frame()->flags |= tarvelo::kFrameNewBlock;
        const Snapshot before = snapshot();
        EXPECT_FALSE(fastReturn(calleeLowest())) << kind;
        EXPECT_TRUE(snapshot() == before) << kind;
    }
}

}  // namespace
