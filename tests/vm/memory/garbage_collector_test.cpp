#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <vector>

#include "tests/vm/memory/synthetic_heap.h"
#include "vm/memory/free_block.h"
#include "vm/memory/heap_debug_modes.h"
#include "vm/memory/identity_hash.h"

namespace tarvelo::test {
namespace {

namespace fb = free_block;

class CollectorTest : public ::testing::Test, public HeapTest {
  protected:
    void TearDown() override {
        setGcStress(false);
        tearDown();
    }
    // Field i (0 = lowest address) of an object with `refs` reference words.
    static word_t& field(word_t obj, std::uint32_t refs, std::uint32_t i) {
        return wordAt(obj - 4u * refs + 4u * i);
    }
    const SyntheticTypes& t = syntheticTypes();
};

TEST_F(CollectorTest, LongChainIsMarkedWithoutTheStack) {
    build(256 * 1024);
    root(0) = newObject(t.node1);
    word_t last = root(0);
    for (int i = 1; i < 10000; ++i) {
        root(1) = last;
        word_t n = newObject(t.node1);
        last = root(1);
        wordAt(last - 4) = n;
        last = n;
    }
    root(1) = 0;
    newObject(t.leaf);  // garbage
    collect();
    EXPECT_EQ(envLog().stackOverflows, 0);
    EXPECT_EQ(hs().collector.liveBytes, 10000u * 16u);
    int n = 0;
    for (word_t o = root(0); o != 0; o = wordAt(o - 4)) ++n;
    EXPECT_EQ(n, 10000);
    EXPECT_TRUE(verify()) << verifyFault();
}

// A comb: each spine node has the next spine node in its lowest slot and a
// leaf in the other, so marking keeps one partly visited entry per level.
TEST_F(CollectorTest, StackOverflowStillMarksAndCountsEverything) {
    build(64 * 1024);
    constexpr int kDepth = 60;
    root(0) = newObject(t.node2);
    word_t spine = root(0);
    for (int i = 1; i < kDepth; ++i) {
        root(1) = spine;
        word_t leaf = newObject(t.leaf);
        spine = root(1);
        field(spine, 2, 1) = leaf;
        root(2) = leaf;
        word_t next = newObject(t.node2);
        spine = root(1);
        field(spine, 2, 0) = next;
        spine = next;
        root(2) = 0;
    }
    root(1) = 0;
    newObject(t.node3);  // garbage
    collect();
    EXPECT_GT(envLog().stackOverflows, 0);
    std::uint32_t expected = kDepth * 24u + (kDepth - 1) * 16u;
    EXPECT_EQ(hs().collector.liveBytes, expected) << "objects left unscanned are counted";
    EXPECT_EQ(hs().freeMemory(), 64u * 1024u - 4u - expected);
    int n = 0;
    for (word_t o = root(0); o != 0; o = field(o, 2, 0)) {
        ++n;
        if (field(o, 2, 1) != 0) {
            EXPECT_EQ(typeOf(field(o, 2, 1)), t.leaf);
        }
    }
    EXPECT_EQ(n, kDepth);
    EXPECT_TRUE(verify()) << verifyFault();
}

TEST_F(CollectorTest, CompactionCases) {
    build(4096);
    // First block free: a garbage object first, then a live one with refs.
    newObject(t.leaf);
    root(0) = newObject(t.node3);
    collect();
    EXPECT_EQ(wordAt(hs().mainHeap.start), 3u) << "region word names the first object's refs";
    EXPECT_EQ(root(0), hs().mainHeap.start + 4 + 12);
    EXPECT_TRUE(verify()) << verifyFault();

    // A reference below the first free block is not changed.
    word_t low = root(0);
    newObject(t.leaf);
    root(1) = newObject(t.node2);
    collect();
    EXPECT_EQ(root(0), low);
    EXPECT_EQ(root(1), low + 12 + 8);

    // One free block at the end: nothing moves.
    word_t before1 = root(1);
    std::uint32_t freeBefore = hs().freeMemory();
    collect();
    EXPECT_EQ(root(1), before1);
    EXPECT_EQ(hs().freeMemory(), freeBefore);
    EXPECT_EQ(hs().mainHeap.freeCount, 1u);
}

// Many free blocks per break-table sample and references that point both
// up and down the heap, visited in heap order: every reference slot must
// name the object it named before, whichever way the relocation walk took.
TEST_F(CollectorTest, CompactionKeepsEveryReferenceAcrossSamples) {
    constexpr int kCount = 1500;
    build(160 * 1024);
    root(0) = newArray(t.objectArray, kCount);
    ASSERT_NE(root(0), 0u);
    std::mt19937 rng(11);
    int garbageRuns = 0;  // the free blocks compaction will meet
    for (int i = 0; i < kCount; ++i) {
        word_t o = newObject(t.node1);
        ASSERT_NE(o, 0u);
        wordAt(o + 8) = static_cast<std::uint32_t>(i);
        wordAt(root(0) + 12 + 4u * i) = o;
        // Garbage of varying sizes between the live objects.
        word_t garbage[] = {t.leaf, t.node2, t.node3};
        std::uint32_t n = rng() % 3;
        if (n != 0) ++garbageRuns;
        for (; n != 0; --n) newObject(garbage[rng() % 3]);
    }
    std::vector<int> target(kCount);
    for (int i = 0; i < kCount; ++i) target[i] = i;
    std::shuffle(target.begin(), target.end(), rng);
    auto element = [&](int i) { return wordAt(root(0) + 12 + 4u * i); };
    for (int i = 0; i < kCount; ++i) field(element(i), 1, 0) = element(target[i]);
    ASSERT_GT(garbageRuns, 35 * 20);
    collect();
    ASSERT_TRUE(verify()) << verifyFault();
    EXPECT_EQ(hs().mainHeap.freeCount, 1u);
    for (int i = 0; i < kCount; ++i) {
        word_t o = element(i);
        ASSERT_EQ(wordAt(o + 8), static_cast<std::uint32_t>(i));
        ASSERT_EQ(wordAt(field(o, 1, 0) + 8), static_cast<std::uint32_t>(target[i])) << "object " << i;
    }
}

TEST_F(CollectorTest, WeakReferencesClearAndQueue) {
    build(8192);
    word_t q1 = newObject(t.queue);
    root(0) = q1;
    word_t q2 = newObject(t.queue);
    root(1) = q2;
    root(2) = newObject(t.leaf);                 // strongly reachable
    root(3) = newWeak(root(2), root(0));         // keeps it, relocated
    word_t dead = newObject(t.leaf);
    root(4) = newWeak(dead, root(0));
    dead = wordAt(root(4) - 4);
    root(5) = newWeak(dead, root(1));            // second reference to the same dead object
    root(6) = newWeak(dead, 0, t.weakSub);       // no queue; a subclass
    root(7) = newWeak(hs().allocateImmortalObject(t.leaf), root(0));
    collect();
    EXPECT_EQ(wordAt(root(3) - 4), root(2)) << "relocated referent";
    for (int i : {4, 5, 6}) EXPECT_EQ(wordAt(root(i) - 4), 0u) << i;
    EXPECT_NE(wordAt(root(7) - 4), 0u) << "immortal referents are never cleared";
    EXPECT_EQ(wordAt(root(0) - 4), root(4)) << "queue 1 head";
    EXPECT_EQ(wordAt(root(1) - 4), root(5)) << "queue 2 head";
    EXPECT_EQ(*to_ptr<std::uint8_t>(root(6) + 8), 0u) << "never enqueued without a queue";
    EXPECT_FALSE(hs().tracker.enqueue(root(4))) << "already enqueued";
    EXPECT_TRUE(envLog().resumed.empty());
    EXPECT_TRUE(verify()) << verifyFault();
}

TEST_F(CollectorTest, EnqueueResumesAWaiterOnlyOnAnEmptyQueue) {
    build(8192);
    root(0) = newObject(t.queue);
    // The waiting thread's object: a real object, since the collections of
    // the stress mode mark through the queue's slots.
    word_t waiter = newObject(t.leaf);
    wordAt(root(0) - 12) = waiter;
    root(1) = newWeak(0, root(0));
    root(2) = newWeak(0, root(0));
    EXPECT_TRUE(hs().tracker.enqueue(root(1)));
    ASSERT_EQ(envLog().resumed.size(), 1u);
    EXPECT_EQ(envLog().resumed[0], wordAt(root(0) - 12));
    EXPECT_TRUE(hs().tracker.enqueue(root(2)));
    EXPECT_EQ(envLog().resumed.size(), 1u) << "the queue was not empty";
    EXPECT_EQ(wordAt(root(2) - 16), root(1)) << "queue link";
}

TEST_F(CollectorTest, AutoCloseReferenceClosesItsEntryOnce) {
    build(8192);
    root(2) = newObject(t.leaf);  // the registry entry, held by the registry
    word_t a = newWeak(newObject(t.leaf), 0, t.autoClose);
    wordAt(a - 20) = root(2);
    root(0) = a;
    root(1) = newWeak(newObject(t.leaf), 0, t.autoClose);  // entry already unregistered: 0
    word_t entry = root(2);  // closed before compaction moves it
    collect();
    ASSERT_EQ(envLog().closed.size(), 1u);
    EXPECT_EQ(envLog().closed[0], entry);
    EXPECT_EQ(wordAt(root(0) - 20), 0u);
    collect();
    EXPECT_EQ(envLog().closed.size(), 1u);
}

TEST_F(CollectorTest, ProxyOfStoppedFeatureDoesNotKeepItsTarget) {
    build(8192);
    SyntheticFeature& f = syntheticFeature();
    envLog().featureInstalled = true;
    envLog().currentFeature = f.record;
    word_t target = newObject(t.leaf);
    envLog().currentFeature = 0;
    root(0) = newWeak(target, 0, t.proxy);
    collect();
    EXPECT_NE(wordAt(root(0) - 4), 0u) << "started feature: strong";
    EXPECT_EQ(f.state->liveObject, 1u);
    f.state->state = static_cast<std::uint8_t>(FeatureState::kStopped);
    collect();
    EXPECT_EQ(wordAt(root(0) - 4), 0u);
    EXPECT_EQ(f.state->liveObject, 0u);
}

TEST_F(CollectorTest, IdentityHashSequenceAndPersistence) {
    build(8192);
    for (std::uint32_t i = 1; i <= 33; ++i) {
        word_t o = newObject(t.leaf);
        std::uint32_t expected = i <= 31 ? i : i - 31;
        std::uint32_t h = identityHashCode(o);
        EXPECT_EQ(memory::header_hash(h), expected) << i;
        EXPECT_EQ(h & memory::kTypeOffsetMask, t.leaf - t.base);
        EXPECT_EQ(identityHashCode(o), h) << "stable";
    }
    newObject(t.leaf);
    root(0) = newObject(t.node1);
    std::uint32_t h = identityHashCode(root(0));
    collect();
    EXPECT_EQ(identityHashCode(root(0)), h) << "kept across compaction";
    root(1) = hs().cloneObject(root(0));
    EXPECT_EQ(identityHashCode(root(1)), h) << "copied by clone";
}

TEST_F(CollectorTest, CloneCopiesContentsWhenTheSourceMoves) {
    build(4096);
    newObject(t.leaf);  // garbage before the source
    root(0) = newArray(t.intArray, 10);
    for (int i = 0; i < 10; ++i) wordAt(root(0) + 12 + 4 * i) = 100 + i;
    // Fill the heap so that the clone needs a collection that moves the source.
    root(1) = newArray(t.objectArray, 100);
    for (int i = 0; i < 100; ++i) {
        word_t filler = newArray(t.byteArray, 64);
        if (filler == 0) break;
        wordAt(root(1) + 12 + 4 * i) = filler;
    }
    root(1) = 0;
    word_t clone = hs().cloneObject(root(0));
    ASSERT_NE(clone, 0u);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(wordAt(clone + 12 + 4 * i), 100u + i);
    EXPECT_EQ(arrayLength(clone), 10);
}

TEST_F(CollectorTest, MakeImmortalRedirectsStrongAndWeakSlots) {
    build(8192, 256);
    root(0) = newObject(t.node1);
    std::uint32_t h = identityHashCode(root(0));
    root(1) = newObject(t.node1);
    wordAt(root(1) - 4) = root(0);
    root(2) = newWeak(root(0));
    word_t old = root(0);
    word_t copy = hs().immortalHeap.makeImmortal(old);
    ASSERT_NE(copy, 0u);
    EXPECT_TRUE(hs().immortalHeap.contains(copy));
    EXPECT_EQ(root(0), copy);
    EXPECT_EQ(wordAt(root(1) - 4), copy);
    EXPECT_EQ(wordAt(root(2) - 4), copy) << "weak referent reaches the immortal copy";
    EXPECT_EQ(identityHashCode(copy), h);
    collect();
    EXPECT_EQ(wordAt(root(2) - 4), copy) << "not cleared: immortal";
    EXPECT_TRUE(verify()) << verifyFault();
    EXPECT_EQ(hs().immortalHeap.makeImmortal(copy), copy) << "already immortal";
    while (hs().immortalHeap.freeBytes() >= 16) hs().allocateImmortalObject(t.leaf);
    EXPECT_EQ(hs().immortalHeap.makeImmortal(root(1)), 0u);
    EXPECT_EQ(envLog().newOome, 1);
}

TEST_F(CollectorTest, VerifierFindsCorruption) {
    struct Case {
        const char* what;
        void (*corrupt)(word_t obj, HeapSet& hs);
    } cases[] = {
        {"owner word 1", [](word_t o, HeapSet&) { ownerWord(o) = 1; }},
        {"next reference words",
         [](word_t, HeapSet& hs) { wordAt(hs.mainHeap.freeHead) |= 1u << 26; }},
        {"dirty free block",
         [](word_t, HeapSet& hs) { wordAt(hs.mainHeap.freeHead + 12) = 7; }},
        {"type offset", [](word_t o, HeapSet&) { headerWord(o) |= 0x3FF00u; }},
        {"dangling slot", [](word_t o, HeapSet&) { wordAt(o - 4) = o + 4; }},
    };
    for (const auto& c : cases) {
        build(4096);
        root(0) = newObject(t.node1);
        newObject(t.leaf);
        collect();
        ASSERT_TRUE(verify()) << verifyFault();
        c.corrupt(root(0), hs());
        EXPECT_FALSE(verify()) << c.what;
        tearDown();
    }
}

// Random allocations, drops, weak references and collections against a
// shadow model of every live object's contents and identity hash.
void randomRun(CollectorTest* self, HeapTest& h, int steps, std::uint32_t seed) {
    const SyntheticTypes& t = syntheticTypes();
    std::mt19937 rng(seed);
    // Root slots 0..47 hold objects; slots 48..59 hold weak references.
    struct Shadow {
        word_t type;
        std::uint32_t hash;
        std::uint32_t stamp;
    };
    std::map<std::uint32_t, Shadow> model;  // by root slot
    std::uint32_t stamp = 1;
    auto stampOf = [&](word_t o) { return wordAt(o + 8); };
    for (int step = 0; step < steps; ++step) {
        std::uint32_t r = rng() % 100;
        std::uint32_t slot = rng() % 48;
        if (r < 45) {
            word_t types[] = {t.leaf, t.node1, t.node2, t.node3, t.intArray, t.objectArray};
            word_t type = types[rng() % 6];
            word_t o = type == t.intArray || type == t.objectArray
                           ? h.newArray(type, static_cast<std::int32_t>(1 + rng() % 20))
                           : h.newObject(type);
            if (o == 0) continue;
            std::uint32_t s = stamp++;
            bool isArray = type == t.objectArray || type == t.intArray;
            if (isArray) {
                s = static_cast<std::uint32_t>(arrayLength(o));
            } else {
                wordAt(o + 8) = s;  // first primitive field
            }
            std::uint32_t hash = rng() % 2 ? identityHashCode(o) : 0;
            h.root(slot) = o;
            model[slot] = {type, hash, s};
            // Link it from another live object's reference slot.
            std::uint32_t other = rng() % 48;
            auto it = model.find(other);
            if (it != model.end() && other != slot) {
                word_t from = h.root(other);
                BlockShape sh = shapeOf(from);
                if (!sh.isArray && sh.refBytes != 0) wordAt(from - 4) = o;
                if (sh.isArray && sh.element == t.object && arrayLength(from) > 0) wordAt(from + 12) = o;
            }
        } else if (r < 65) {
            h.root(slot) = 0;
            model.erase(slot);
        } else if (r < 75) {
            auto it = model.find(slot);
            word_t w = h.newWeak(it != model.end() ? h.root(slot) : 0);
            if (w != 0) h.root(48 + rng() % 12) = w;
        } else if (r < 78) {
            h.collect();
        }
        if (step % 64 == 0 || r >= 75) {
            ASSERT_TRUE(h.verify()) << "step " << step << ": " << h.verifyFault();
            for (auto& [s, sh] : model) {
                word_t o = h.root(s);
                ASSERT_EQ(typeOf(o), sh.type) << "step " << step;
                if (sh.type == t.objectArray || sh.type == t.intArray) {
                    ASSERT_EQ(static_cast<std::uint32_t>(arrayLength(o)), sh.stamp);
                } else {
                    ASSERT_EQ(stampOf(o), sh.stamp) << "step " << step;
                }
                if (sh.hash != 0) {
                    ASSERT_EQ(identityHashCode(o), sh.hash);
                }
            }
        }
    }
    (void)self;
}

TEST_F(CollectorTest, SeededRandomRun) {
    build(24 * 1024);
    randomRun(this, *this, 6000, 42);
}

TEST_F(CollectorTest, SeededRandomRunUnderStress) {
    build(12 * 1024);
    setGcStress(true);
    randomRun(this, *this, 800, 7);
}

}  // namespace
}  // namespace tarvelo::test
