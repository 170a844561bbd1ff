// The dispatch loop's inline invocation and return build exactly the frame
// and thread state the engine's full path builds (same block bytes, same
// thread words, same stack meter), for both header forms, in the caller's
// block and across into the thread's next block, with the meter on the
// caller's block, a deeper one or the one below; and they decline without
// writing anything in every case they leave to the engine.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <new>

#include "vm/core/engine/activation_fast_path.h"
#include "vm/core/engine/engine.h"
#include "vm/core/lifecycle/feature_rules_check.h"
#include "vm/core/threads/java_stack.h"
#include "vm/core/threads/vm_thread.h"

namespace {

using tarvelo::FrameRecord;
using tarvelo::StackBlock;
using tarvelo::to_word;
using tarvelo::word_t;

constexpr std::uint32_t kBlock = 512;
constexpr int kBlocks = 3;
constexpr word_t kReturnPc = 0x10000123;
constexpr word_t kCallerPc = 0x10000077;
constexpr word_t kApplication = 0x20001000;

alignas(8) std::uint8_t block_bytes[kBlocks][kBlock];
alignas(4) std::uint8_t caller_method[12];
alignas(4) std::uint8_t callee_method[12];
alignas(8) std::uint32_t receiver_storage[4];
alignas(tarvelo::VMThread) unsigned char thread_storage[sizeof(tarvelo::VMThread)];
tarvelo::JavaStackMeter meter;

using Header = std::array<std::uint8_t, 6>;  // bytes +4 .. +9 of a method

// Where the caller stands: its frame at the end of block `block`, and how
// many primitive registers it has below its frame record. It has one kept
// reference argument and one register of its own below its reference base
// (the block's first two slots) and two registers above it, r0 and r1; it
// passes reference arguments from r1, and its outgoing primitive top lies
// `room` words above its lowest register. With 8 registers below the
// record every callee here fits in the block; with 111 (or 108 and one word
// of room) none does (28 bytes between the two outgoing areas).
struct Caller {
    int block;
    std::uint8_t primBelow;
    int room = 4;
};
constexpr Caller kRoomy{0, 8};
constexpr Caller kCramped{0, 111};
constexpr Caller kCrampedOneWord{0, 108, 1};
constexpr std::uint32_t kCallerFrameWords = 7;

// Callee headers. A compact byte is 0x80 | returns a reference 0x40 | one
// more reference register 0x20 | primitive words << 2 | kept references.
const Header kCompactNoRefs = {0x80 | (3 << 2), 0, 0, 0, 0, 0};
const Header kCompactRefs = {0x80 | 0x20 | (2 << 2) | 2, 0, 0, 0, 0, 0};
const Header kCompactReturnsRef = {0x80 | 0x40 | (1 << 2) | 2, 0, 0, 0, 0, 0};
const Header kFullAboveAndBelow = {0x00, 0x02, 0x03, 0x08, 0x02, 0x03};
const Header kFullReturnsLong = {0x00, 0x00, 0x00, 0x07, 0x01, 0x02};  // two primitive words, no arguments
const Header kFullKeepsContext = {0x00, 0x81, 0x01, 0x05, 0x00, 0x00};
const Header kFullSmall = {0x00, 0x01, 0x01, 0x06, 0x01, 0x01};

// The thread's blocks: it owns 0 .. top, runs in `current`, and its meter
// watches `meterBlock` with `leastFree`.
struct Stack {
    int current;
    int top;
    int meterBlock;
    std::int32_t leastFree;
};

struct CallCase {
    const char* what;
    Header callee;
    Caller caller;
    Stack stack;
    bool ownReceiver;  // a receiver owned by the kernel
    bool crosses;      // the callee goes to the next block
};

const CallCase kCalls[] = {
    // In the caller's block.
    {"compact, no reference arguments", kCompactNoRefs, kRoomy, {0, 0, 0, 10000}, false, false},
    {"compact, kept and extra references", kCompactRefs, kRoomy, {0, 0, 0, 10000}, true, false},
    {"full, references above and primitives below", kFullAboveAndBelow, kRoomy, {0, 0, 0, 10000}, true, false},
    {"full, meter already lower", kFullSmall, kRoomy, {0, 0, 0, 4}, false, false},
    {"full, keeps the context", kFullKeepsContext, kRoomy, {0, 0, 0, 10000}, true, false},
    {"meter on a deeper block stays", kFullSmall, kRoomy, {0, 2, 2, 40}, false, false},
    {"meter on the block below moves up", kCompactRefs, {1, 8}, {1, 1, 0, 40}, false, false},
    // Into the next block, which the thread owns already.
    {"across, compact, no reference arguments", kCompactNoRefs, kCramped, {0, 1, 0, 10000}, false, true},
    {"across, compact, kept and extra references", kCompactRefs, kCramped, {0, 1, 0, 10000}, true, true},
    {"across, full, references above and primitives below", kFullAboveAndBelow, kCramped, {0, 1, 0, 10000}, true,
     true},
    {"across, returns a reference", kCompactReturnsRef, kCramped, {0, 1, 0, 10000}, true, true},
    {"across, returns a long without arguments", kFullReturnsLong, kCramped, {0, 1, 0, 10000}, false, true},
    {"across, a long into one word of room", kFullReturnsLong, kCrampedOneWord, {0, 1, 0, 10000}, false, true},
    {"across, meter already on the next block", kFullSmall, kCramped, {0, 1, 1, 9}, false, true},
    {"across, meter on a deeper block stays", kFullSmall, kCramped, {0, 2, 2, 9}, false, true},
    {"across, next block below the newest", kFullAboveAndBelow, kCramped, {0, 2, 1, 10000}, true, true},
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
    Caller at = kRoomy;

    static StackBlock* block(int i) { return reinterpret_cast<StackBlock*>(block_bytes[i]); }
    FrameRecord* caller() const {
        return reinterpret_cast<FrameRecord*>(block_bytes[at.block] + kBlock - 4 * kCallerFrameWords);
    }
    word_t* refArgs() const { return block(at.block)->firstRef() + 3; }  // the caller's r1
    std::int32_t* primTop() const { return caller()->prim() - at.primBelow + at.room; }

    // A thread whose caller stands as `c` says, over the blocks `s` gives,
    // every reference slot holding a mark so that clearing shows.
    void prepare(const Header& callee, const Caller& c, const Stack& s, bool ownReceiver) {
        at = c;
        std::memset(block_bytes, 0, sizeof block_bytes);
        for (int b = 0; b < kBlocks; ++b) {
            for (std::uint32_t i = 0; i < 40; ++i) block(b)->firstRef()[i] = 0xAB000000u + 0x100u * b + i;
            if (b <= s.top) {
                block(b)->size = kBlock;
                block(b)->index = static_cast<std::uint16_t>(b);
                block(b)->link.set(b > 0 ? block(b - 1) : nullptr);
            }
        }
        const Header callerHeader = {0x00, 0x01, 0x02, kCallerFrameWords, 0x02, c.primBelow};
        std::memset(caller_method, 0, sizeof caller_method);
        std::memcpy(caller_method + 4, callerHeader.data(), 6);
        std::memset(callee_method, 0, sizeof callee_method);
        std::memcpy(callee_method + 4, callee.data(), 6);
        std::memset(receiver_storage, 0, sizeof receiver_storage);
        new (thread_storage) tarvelo::VMThread{};
        FrameRecord* f = caller();
        f->flags = tarvelo::kFrameFirst | tarvelo::kFrameNewBlock;
        f->method = to_word(caller_method);
        thread.currentFrame = to_word(f);
        thread.refWindow = to_word(block(c.block)->firstRef() + 2);
        thread.currentBlock.set(block(s.current));
        thread.topBlock.set(block(s.top));
        meter.block.set(block(s.meterBlock));
        meter.leastFree = s.leastFree;
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

    // As the dispatch loop does: the running activation in locals loaded
    // from the thread record, the fast path on them, and the locals written
    // back to the record (as the loop's next save point would) when it
    // acted. The record's copies are stale in between (the loop writes them
    // back only where something outside it looks), so the fast path must
    // not read them: they hold garbage during the call. A decline leaves
    // the locals as they were.
    struct Locals {
        const std::uint8_t* code;
        std::int32_t* P;
        word_t* R;
    };
    Locals load() const {
        return {tarvelo::to_ptr<const std::uint8_t>(thread.pc), tarvelo::to_ptr<std::int32_t>(thread.currentFrame),
                tarvelo::to_ptr<word_t>(thread.refWindow)};
    }
    void makeRecordStale() {
        thread.pc = 0xBAD0BAD0u;
        thread.currentFrame = 0xBAD1BAD0u;
        thread.refWindow = 0xBAD2BAD0u;
    }
    bool settle(bool done, const Locals& before, const Locals& l) {
        // The record's copies the fast path wrote, if any, are the locals it
        // handed back: the write below stands for both.
        if (done) {
            thread.pc = to_word(l.code);
            thread.currentFrame = to_word(l.P);
            thread.refWindow = to_word(l.R);
        } else {
            EXPECT_EQ(l.code, before.code);
            EXPECT_EQ(l.P, before.P);
            EXPECT_EQ(l.R, before.R);
            thread.pc = to_word(before.code);
            thread.currentFrame = to_word(before.P);
            thread.refWindow = to_word(before.R);
        }
        return done;
    }
    // `isStatic`: as a static call does, with no receiver.
    bool fastInvoke(std::int32_t* top = nullptr, bool isStatic = false) {
        const Locals before = load();
        Locals l = before;
        makeRecordStale();
        top = top != nullptr ? top : primTop();
        const bool done =
            isStatic ? tarvelo::try_fast_invoke<false>(&thread, to_word(callee_method), refArgs(), top, kReturnPc,
                                                       &l.code, &l.P, &l.R)
                     : tarvelo::try_fast_invoke(&thread, to_word(callee_method), refArgs(), top, kReturnPc, &l.code,
                                                &l.P, &l.R);
        return settle(done, before, l);
    }
    bool fastReturn(word_t* lowest) {
        const Locals before = load();
        Locals l = before;
        makeRecordStale();
        const bool done = tarvelo::try_fast_return(&thread, lowest, &l.code, &l.P, &l.R);
        return settle(done, before, l);
    }
    // The callee's lowest reference slot, in whichever block it runs.
    word_t* calleeLowest() const {
        const std::uint32_t base = tarvelo::image::decode_method_header(callee_method).ref_base;
        return tarvelo::to_ptr<word_t>(thread.refWindow) - base;
    }
    // The lowest slot its return leaves behind: one above a reference
    // result, else its lowest.
    word_t* returnLowest() const {
        return calleeLowest() + (tarvelo::image::decode_method_header(callee_method).returns_ref ? 1 : 0);
    }
    // The callee leaves a result where its caller looks for one.
    void calleeWritesResult() {
        auto* frame = thread.frame();
        const tarvelo::image::MethodHeader h = tarvelo::image::decode_method_header(callee_method);
        for (std::uint32_t i = 0; i < h.prim_words(); ++i)
            frame->prim()[h.frame_words - 1 - i] = static_cast<std::int32_t>(0x5E000000u + i);
        if (h.returns_ref) calleeLowest()[0] = 0x7E57AB1Eu;
    }
};

TEST_F(ActivationFastPath, CallAndReturnMatchTheEnginesPath) {
    for (const CallCase& c : kCalls) {
        prepare(c.callee, c.caller, c.stack, c.ownReceiver);
        ASSERT_TRUE(tarvelo::TulvarVMEngine::invokeMethod(&thread, to_word(callee_method), refArgs(), primTop()))
            << c.what;
        EXPECT_EQ(thread.currentBlock.get() != block(c.stack.current), c.crosses) << c.what;
        const Snapshot slowCall = snapshot();
        thread.pc = kCallerPc;  // the callee ran a little
        calleeWritesResult();
        ASSERT_TRUE(tarvelo::LLOSTV_return_method(&thread, returnLowest())) << c.what;
        const Snapshot slowReturn = snapshot();

        // A static call's path, too, when the call has no receiver.
        for (const bool isStatic : {false, true}) {
            if (isStatic && c.ownReceiver) continue;
            prepare(c.callee, c.caller, c.stack, c.ownReceiver);
            ASSERT_TRUE(fastInvoke(nullptr, isStatic)) << c.what;
            EXPECT_TRUE(snapshot() == slowCall) << c.what;
            thread.pc = kCallerPc;
            calleeWritesResult();
            ASSERT_TRUE(fastReturn(returnLowest())) << c.what;
            EXPECT_TRUE(snapshot() == slowReturn) << c.what;
            EXPECT_EQ(thread.pc, kReturnPc) << c.what;
        }
    }
}

TEST_F(ActivationFastPath, DeclinesWithoutWritingWhatTheEngineMustDo) {
    struct Decline {
        const char* what;
        Caller caller;
        Stack stack;
        void (*arrange)(ActivationFastPath&);
    };
    const Decline calls[] = {
        {"receiver of an installed application", kRoomy, {0, 0, 0, 10000},
         [](ActivationFastPath& f) {
             receiver_storage[1] = kApplication;  // owner word: an application
             f.thread.thisObject = to_word(&receiver_storage[0]);
         }},
        {"no room left and no next block", kCramped, {0, 0, 0, 10000}, [](ActivationFastPath&) {}},
        {"no frame yet", kRoomy, {0, 0, 0, 10000}, [](ActivationFastPath& f) { f.thread.currentFrame = 0; }},
    };
    for (const Decline& d : calls) {
        prepare(kFullSmall, d.caller, d.stack, false);
        d.arrange(*this);
        const Snapshot before = snapshot();
        EXPECT_FALSE(fastInvoke()) << d.what;
        EXPECT_TRUE(snapshot() == before) << d.what;
    }

    // Calls made holding kernel monitors are the engine's when the rules
    // check them, in the block and across; not otherwise.
    const bool checked = tarvelo::kernel_monitor_calls_checked;
    for (const bool check : {true, false}) {
        for (const Caller& c : {kRoomy, kCramped}) {
            prepare(kFullSmall, c, {0, 1, 0, 10000}, false);
            thread.kernelMonitorDepth = 1;
            tarvelo::kernel_monitor_calls_checked = check;
            const Snapshot before = snapshot();
            EXPECT_EQ(fastInvoke(), !check) << c.primBelow;
            if (check) EXPECT_TRUE(snapshot() == before) << c.primBelow;
        }
    }
    tarvelo::kernel_monitor_calls_checked = checked;

    // A callee larger than a block holds is the engine's to refuse, even
    // with a next block at hand.
    prepare(Header{0x00, 0x00, 0x00, 0x7F, 0x00, 0x00}, kCramped, {0, 1, 0, 10000}, false);
    const Snapshot beforeHuge = snapshot();
    EXPECT_FALSE(fastInvoke());
    EXPECT_TRUE(snapshot() == beforeHuge);

    // Returns: into a frame whose saved context is an application's (in the
    // same block and across), and from the thread's first frame.
    struct ReturnDecline {
        const char* what;
        Caller caller;
        Stack stack;
        void (*arrange)(ActivationFastPath&);
    };
    const ReturnDecline returns[] = {
        {"into an application's frame", kRoomy, {0, 0, 0, 10000},
         [](ActivationFastPath& f) { f.caller()->savedContext = kApplication; }},
        {"across into an application's frame", kCramped, {0, 1, 0, 10000},
         [](ActivationFastPath& f) { f.caller()->savedContext = kApplication; }},
        {"the thread's first frame", kRoomy, {0, 0, 0, 10000},
         [](ActivationFastPath& f) { f.thread.frame()->flags |= tarvelo::kFrameFirst | tarvelo::kFrameNewBlock; }},
    };
    for (const ReturnDecline& r : returns) {
        prepare(kFullSmall, r.caller, r.stack, false);
        ASSERT_TRUE(fastInvoke()) << r.what;
        r.arrange(*this);
        const Snapshot before = snapshot();
        EXPECT_FALSE(fastReturn(returnLowest())) << r.what;
        EXPECT_TRUE(snapshot() == before) << r.what;
    }
}

}  // namespace
