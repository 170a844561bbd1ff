// The runtime prelude: the types the virtual machine names exist, with the
// field offsets the virtual machine's code uses.
#include <gtest/gtest.h>

#include "tests/tools/imagelink/link_helpers.h"
#include "tools/imagelink/link_context.h"
#include "tools/imagelink/text_parser.h"
#include "vm/core/image/runtime_layout.h"
#include "vm/model/string_record.h"

namespace tarvelo::imagelink {
namespace {

using namespace testing;
namespace L = image::layout;

class Prelude : public ::testing::Test {
protected:
    void SetUp() override {
        parse_text(program_, with_prelude(""), "test.tvi", ParseOptions{{TARVELO_PRELUDE_DIR}});
        ctx_ = std::make_unique<LinkContext>(program_);
        layout_types(*ctx_);
    }
    Program program_;
    std::unique_ptr<LinkContext> ctx_;
};

TEST_F(Prelude, DefinesEveryTypeTheVirtualMachineNames) {
    const char* names[] = {
        "java.lang.Object", "java.lang.Class", "java.lang.String", "java.lang.Thread", "java.lang.MainThread",
        "java.lang.ref.WeakReference", "java.lang.ArithmeticException", "java.lang.ArrayIndexOutOfBoundsException",
        "java.lang.ArrayStoreException", "java.lang.ClassCastException", "java.lang.ClassNotFoundException",
        "java.lang.IllegalAccessError", "java.lang.IllegalAccessException", "java.lang.IllegalArgumentException",
        "java.lang.IllegalMonitorStateException", "java.lang.IllegalStateException",
        "java.lang.IllegalThreadStateException", "java.lang.IndexOutOfBoundsException",
        "java.lang.InstantiationException", "java.lang.InterruptedException", "java.lang.NegativeArraySizeException",
        "java.lang.NullPointerException", "java.lang.NumberFormatException", "java.lang.OutOfMemoryError",
        "java.lang.StackOverflowError", "java.io.EOFException", "java.io.IOException",
        "com.olun.vm.support.InternalLimitsError", "com.olun.vm.support.io.DebugOutputStream",
        "com.olun.vm.support.io.MemoryInputStream", "yq.kf.DeadFeatureException", "yq.kf.Proxy",
        "yq.kf.ProxyInvocationException", "yq.sni.AutoCloseWeakRef", "yq.sni.NativeException",
        "yq.sni.NativeIOException", "yq.sni.NativeResource", "[C", "[I", "[Ljava.lang.String;",
    };
    for (const char* n : names) {
        Type* t = ctx_->find_type(n);
        ASSERT_NE(t, nullptr) << n;
        EXPECT_TRUE(t->instantiable()) << n;
    }
}

TEST_F(Prelude, PinsTheFieldsTheVirtualMachineReads) {
    struct Case { const char* type; const char* field; std::int32_t offset; };
    const Case cases[] = {
        {"java.lang.String", "value", image::kStringValueField},
        {"java.lang.String", "offset", image::kStringOffsetField},
        {"java.lang.String", "count", image::kStringCountField},
        {"java.lang.String", "hash", image::kStringHashField},
        {"java.lang.Thread", "name", L::kThreadName},
        {"java.lang.Thread", "target", L::kThreadTarget},
        {"java.lang.Thread", "id", L::kThreadId},
        {"java.lang.Thread", "priority", L::kThreadPriority},
        {"java.lang.Thread", "daemon", L::kThreadDaemon},
        {"java.lang.Throwable", "message", L::kThrowableMessage},
        {"java.lang.Throwable", "stackTrace", L::kThrowableStackTrace},
        {"java.lang.Throwable", "cause", L::kThrowableCause},
        {"java.lang.ref.Reference", "referent", L::kReferenceReferent},
        {"java.lang.ref.Reference", "discovered", L::kReferenceDiscovered},
        {"java.lang.ref.Reference", "queue", L::kReferenceQueue},
        {"java.lang.ref.Reference", "queueNext", L::kReferenceQueueNext},
        {"java.lang.ref.Reference", "enqueued", L::kReferenceEnqueued},
        {"yq.sni.AutoCloseWeakRef", "guarded", L::kAutoCloseWeakRefResource},
        {"java.lang.ref.ReferenceQueue", "head", L::kReferenceQueueHead},
        {"java.lang.ref.ReferenceQueue", "waiter", L::kReferenceQueueWaiter},
        {"yq.sni.NativeException", "errorCode", L::kNativeExceptionErrorCode},
        {"yq.sni.NativeIOException", "errorCode", L::kNativeExceptionErrorCode},
        {"yq.sni.NativeResource", "next", L::kNativeResourceNext},
        {"yq.sni.NativeResource", "owner", L::kNativeResourceSecond},
        {"yq.sni.NativeResource", "closeFunction", L::kNativeResourceClose},
        {"yq.sni.NativeResource", "descriptionFunction", L::kNativeResourceDescription},
        {"yq.sni.NativeResource", "resource", L::kNativeResourceValue},
        {"com.olun.vm.support.io.MemoryInputStream", "start", L::kMemoryInputStreamStart},
        {"com.olun.vm.support.io.MemoryInputStream", "end", L::kMemoryInputStreamEnd},
        {"com.olun.vm.support.io.MemoryInputStream", "position", L::kMemoryInputStreamPosition},
        {"com.olun.vm.support.io.MemoryInputStream", "mark", L::kMemoryInputStreamMark},
    };
    for (const Case& c : cases) {
        Field* f = ctx_->field_ref(std::string(c.type) + "." + c.field, nullptr, SourceLocation{});
        EXPECT_EQ(f->offset, c.offset) << c.type << "." << c.field;
    }
    // Sizes fixed by the object layout: Object and Class 8, String 24,
    // Throwable 16 reference bytes and 24 in all.
    EXPECT_EQ(ctx_->find_type("java.lang.Object")->instance_size, 8u);
    EXPECT_EQ(ctx_->find_type("java.lang.Class")->instance_size, 8u);
    EXPECT_EQ(ctx_->find_type("java.lang.String")->instance_size, 24u);
    EXPECT_EQ(ctx_->find_type("java.lang.Throwable")->ref_bytes, L::kThrowableRefBytes);
    EXPECT_EQ(ctx_->find_type("java.lang.Throwable")->instance_size, 24u);
}

TEST_F(Prelude, ObjectMethodsHoldTheFirstFourSlots) {
    const Type* object = ctx_->find_type("java.lang.Object");
    const char* names[] = {"clone", "equals", "hashCode", "toString"};
    for (int k = 0; k < 4; ++k) EXPECT_EQ(object->vtable[static_cast<std::size_t>(k)]->name, names[k]);
    // A subclass overriding run keeps Thread's slot.
    const Type* thread = ctx_->find_type("java.lang.Thread");
    const Type* main = ctx_->find_type("java.lang.MainThread");
    EXPECT_EQ(thread->vtable.size(), main->vtable.size());
}

}  // namespace
}  // namespace tarvelo::imagelink
