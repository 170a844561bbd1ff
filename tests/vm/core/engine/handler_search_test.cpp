// The handler search over a method's handler table: a catch type that is
// the exception's type or one of its ancestors catches it, also across an
// installed application and the kernel; one that names no type header of
// the kernel or of an installed application (a damaged table of an
// application file) catches nothing, and the search goes on to the next
// entry instead of reading the word as a type. A trace line follows a
// method's class word only when it is a type header.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <new>

#include "tests/vm/core/image/synthetic_image.h"
#include "vm/core/engine/engine.h"
#include "vm/core/image/image_directory.h"
#include "vm/core/threads/java_stack.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/feature_record.h"
#include "vm/memory/memory_layout.h"
#include "vm/model/method_record.h"
#include "vm/model/object_header.h"

using namespace tarvelo;
using tarvelo::test::DirectoryEnvironment;
using tarvelo::test::SyntheticFeatureRecord;
using tarvelo::test::SyntheticImage;

namespace {

SyntheticFeatureRecord gApp;

constexpr std::uint32_t kBlock = 512;
constexpr std::uint32_t kFrameBytes = 24;
// Two handler entries, the class word, a full header and some code.
constexpr std::uint32_t kEntries = 2;
alignas(8) std::uint8_t gBlock[kBlock];
alignas(4) std::uint8_t gMethod[kEntries * image::kHandlerEntrySize + 48];
alignas(8) std::uint32_t gException[2];
alignas(VMThread) unsigned char gThread[sizeof(VMThread)];

enum class Catch { kKernelError, kObject, kUnrelated, kAppError, kInsideSlot, kLowAddress, kPastTypes };

struct HandlerCase {
    const char* what;
    bool applicationException;  // thrown: the application's subclass of the kernel's exception class
    Catch catchType;
    bool caught;  // by the first entry; else by the second (catches anything)
};

class HandlerSearchTest : public testing::TestWithParam<HandlerCase> {
  public:
    void SetUp() override {
        DirectoryEnvironment::reset();
        DirectoryEnvironment::install();
        const word_t o = kernel.object();
        error = kernel.classType(0, 0, {o});
        unrelated = kernel.classType(0, 0, {o});
        appError = app.classType(0, 0, {o, error});
        gApp.describe(app);
        DirectoryEnvironment::installed[1] = gApp.address();
        directory.setUp(kernel.kernelImage());
        ASSERT_TRUE(directory.initialize());
        savedDirectory = image_directory();
        set_image_directory(&directory);
        savedLayout = memoryLayout();
        MemoryLayout layout = savedLayout;
        layout.typesBase = kernel.tables().typesStart;
        setMemoryLayout(layout);
    }
    void TearDown() override {
        setMemoryLayout(savedLayout);
        set_image_directory(savedDirectory);
        DirectoryEnvironment::reset();
    }

    word_t catchWord(Catch c) const {
        switch (c) {
            case Catch::kKernelError: return error;
            case Catch::kObject: return kernel.object();
            case Catch::kUnrelated: return unrelated;
            case Catch::kAppError: return appError;
            case Catch::kInsideSlot: return error + 4;
            case Catch::kLowAddress: return 0x10;
            case Catch::kPastTypes: return kernel.tables().typesEnd + 64;
        }
        return 0;
    }

    SyntheticImage kernel{0};
    SyntheticImage app{1, kernel, gApp.address()};
    FeatureImageDirectory directory{};
    FeatureImageDirectory* savedDirectory = nullptr;
    MemoryLayout savedLayout{};
    word_t error = 0, unrelated = 0, appError = 0;
};

void putWord(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }

TEST_P(HandlerSearchTest, FirstMatchingEntryCatches) {
    const HandlerCase& c = GetParam();
    // The thrown object: its header names its type, relative to the kernel's
    // types or (owner word with the type bit) to the application's.
    if (c.applicationException) {
        gException[0] = memory::immortal_header(appError - featureTypesBase(gApp.address()));
        gException[1] = gApp.address() | memory::kOwnerFeatureTypeBit;
    } else {
        gException[0] = memory::immortal_header(error - kernel.tables().typesStart);
        gException[1] = 0;
    }

    std::memset(gMethod, 0, sizeof gMethod);
    std::uint8_t* classWord = gMethod + kEntries * image::kHandlerEntrySize;
    const word_t method = to_word(classWord);
    image::MethodHeader h;
    h.handler_count = kEntries;
    h.frame_words = 6;
    image::encode_full_header(h, classWord + image::kMethodHeaderOffset);
    const word_t code = method + image::kFullCodeOffset;
    const word_t firstHandler = code + 20, secondHandler = code + 30;
    // Entry 0 (nearest the class word, tried first) names the case's type;
    // entry 1 catches anything. Both protect [code, code + 10).
    const std::uint32_t catchTypes[kEntries] = {catchWord(c.catchType), 0};
    const word_t handlers[kEntries] = {firstHandler, secondHandler};
    for (std::uint32_t i = 0; i < kEntries; ++i) {
        std::uint8_t* e = classWord - image::kHandlerEntrySize * (i + 1);
        putWord(e + image::kHandlerCatchTypeOffset, catchTypes[i]);
        putWord(e + image::kHandlerStartOffset, code);
        putWord(e + image::kHandlerEndOffset, code + 10);
        putWord(e + image::kHandlerPcOffset, handlers[i]);
    }

    std::memset(gBlock, 0, sizeof gBlock);
    auto* block = reinterpret_cast<StackBlock*>(gBlock);
    block->size = kBlock;
    auto* frame = reinterpret_cast<FrameRecord*>(gBlock + kBlock - kFrameBytes);
    frame->flags = kFrameFirst | kFrameNewBlock;
    frame->method = method;
    auto& thread = *new (gThread) VMThread{};
    thread.currentFrame = to_word(frame);
    thread.refWindow = to_word(block->firstRef());
    thread.currentBlock.set(block);
    thread.topBlock.set(block);
    thread.pc = code + 4;

    const TulvarVMEngine::HandlerFound found = TulvarVMEngine::dispatchException(&thread, to_word(gException));
    ASSERT_EQ(found.at.frame, frame) << c.what;
    EXPECT_EQ(found.handlerPc, c.caught ? firstHandler : secondHandler) << c.what;
}

const HandlerCase kHandlerCases[] = {
    {"the exception's own type", false, Catch::kKernelError, true},
    {"java.lang.Object", false, Catch::kObject, true},
    {"an unrelated class", false, Catch::kUnrelated, false},
    {"the kernel ancestor of an application's exception", true, Catch::kKernelError, true},
    {"the application's exception type", true, Catch::kAppError, true},
    {"an application's subclass, kernel exception thrown", false, Catch::kAppError, false},
    // Damaged tables: words that are no type header.
    {"inside a type header's slot", false, Catch::kInsideSlot, false},
    {"an address outside every image", false, Catch::kLowAddress, false},
    {"past the kernel's type headers", false, Catch::kPastTypes, false},
    {"no type, application exception", true, Catch::kLowAddress, false},
};
INSTANTIATE_TEST_SUITE_P(CatchTypes, HandlerSearchTest, testing::ValuesIn(kHandlerCases));

// A trace line names a method's class only when its class word is a type
// header: an application's record may hold any word there (an uncaught
// exception's trace read through one).
class MethodReferenceTest : public HandlerSearchTest {};

TEST_F(MethodReferenceTest, ClassWordThatIsNoTypeIsNotFollowed) {
    std::memset(gMethod, 0, sizeof gMethod);
    gMethod[image::kMethodHeaderOffset] = image::kHeaderCompactBit;
    const word_t method = to_word(gMethod);
    for (const word_t klass : {catchWord(Catch::kLowAddress), catchWord(Catch::kInsideSlot),
                               catchWord(Catch::kPastTypes)}) {
        putWord(gMethod, klass);
        testing::internal::CaptureStdout();
        TulvarVMEngine::printMethodReference(method);
        EXPECT_EQ(testing::internal::GetCapturedStdout().find("@A:"), 0u) << std::hex << klass;
    }
}

}  // namespace
