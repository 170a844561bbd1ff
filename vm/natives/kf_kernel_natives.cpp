// Natives of com.olun.kf.KernelNatives (natives-pool calls): the kernel's
// hold on installed applications. A `yq.kf.Feature` is linked to its
// `FeatureRecord` only when that record is installed; every native checks
// the handle against the installed-feature table, so a stale `Feature`
// (unlinked, its storage freed) reaches nothing.
#include <cstdint>
#include <cstring>

#include "vm/natives/class_lookup.h"
#include "vm/model/class_name_resolver.h"
#include "vm/core/lifecycle/shared_buffer.h"
#include "vm/model/type_tests.h"
#include "vm/model/type_record.h"
#include "vm/core/engine/ram_control.h"
#include "vm/core/engine/shared_interface_proxies.h"
#include "vm/core/engine/engine.h"
#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/feature_context.h"
#include "vm/core/engine/feature_manager.h"
#include "vm/core/engine/frame_record.h"
#include "vm/core/engine/object_access.h"
#include "vm/core/engine/java_objects.h"
#include "vm/core/engine/runtime_prelude.h"
#include "vm/model/image_format.h"
#include "vm/model/image_symbols.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/feature_loader.h"
#include "vm/memory/feature_record.h"
#include "vm/memory/feature_runtime.h"
#include "vm/memory/heap_set.h"
#include "vm/memory/installed_feature_table.h"

namespace tarvelo {

namespace {

void return_ref(VMThread* t, word_t value) {
    const auto base = static_cast<std::int32_t>(ExecutionContext::refArgCount(t));
    ExecutionContext::returnRef(t, -(base > 0 ? base : 1), value);
}

// The record of a valid `Feature`: linked, and still in the table.
word_t valid_record(word_t feature) {
    const word_t record = featureObjectRecord(feature);
    return record != 0 && installedSlotOf(record) >= 0 ? record : 0;
}

word_t record_or_throw(VMThread* t, word_t feature) {
    const word_t record = valid_record(feature);
    if (record == 0) ExecutionContext::throwNew(t, vm_type(VMType::_java_Ljava_lang_IllegalStateException));
    return record;
}

word_t kernel_module() {
    const word_t s = prelude_member(PreludeMember::_java_Syq_kf_Kernel__Module);
    return s != 0 ? *to_ptr<word_t>(s) : 0;
}

word_t module_of(word_t record) {
    if (record == 0) return kernel_module();
    if (installedSlotOf(record) < 0) return 0;
    return featureRuntimeState(record)->featureObject;
}

}  // namespace

}  // namespace tarvelo

using namespace tarvelo;

extern "C" {

// static boolean initialize()
void VMNative_com_olun_kf_KernelNatives_initialize(VMThread* t) {
    clearInstalledFeatureTable();
    ExecutionContext::returnInt(t, 1);
}

// static ModuleData getData(long handle)
void VMNative_com_olun_kf_KernelNatives_getData(VMThread* t) {
    const std::int64_t handle = ExecutionContext::longArg(t, 5);
    word_t data = 0;
    if (handle == -1) {
        data = image::read_u32(_java_features_start + 4 * image::kFeatureModuleData);
    } else if (handle > 0 && handle <= 0xFFFFFFFFll && installedSlotOf(static_cast<word_t>(handle)) >= 0) {
        data = featureRecordWord(static_cast<word_t>(handle), feature_record::kModuleData);
    }
    return_ref(t, data);
}

// static void linkToNative(Feature f, long handle)
void VMNative_com_olun_kf_KernelNatives_linkToNative(VMThread* t) {
    const word_t feature = ExecutionContext::refArg(t, 0);
    const std::int64_t handle = ExecutionContext::longArg(t, 5);
    const bool known = handle > 0 && handle <= 0xFFFFFFFFll && installedSlotOf(static_cast<word_t>(handle)) >= 0;
    if (feature == 0 || !known) {
        ExecutionContext::throwNew(t, vm_type(VMType::_java_Ljava_lang_IllegalStateException));
        return;
    }
    const auto record = static_cast<word_t>(handle);
    setFeatureObjectHandle(feature, handle);
    FeatureRuntimeState* st = featureRuntimeState(record);
    st->featureObject = feature;
    st->state = static_cast<std::uint8_t>(FeatureState::kInstalled);
    featureObjectByte(feature, feature_object::kTransition) = kTransitionLinked;
}

// static Class getEntryPointClass(Feature f)
void VMNative_com_olun_kf_KernelNatives_getEntryPointClass(VMThread* t) {
    const word_t record = valid_record(ExecutionContext::refArg(t, 0));
    return_ref(t, record != 0 ? featureRecordWord(record, feature_record::kEntryPointClass) : 0);
}

// static void setStarted(Feature f)
void VMNative_com_olun_kf_KernelNatives_setStarted(VMThread* t) {
    const word_t feature = ExecutionContext::refArg(t, 0);
    const word_t record = record_or_throw(t, feature);
    if (record == 0) return;
    FeatureRuntimeState* st = featureRuntimeState(record);
    st->state = static_cast<std::uint8_t>(FeatureState::kStarted);
    st->liveThreads = 0;
    featureObjectByte(feature, feature_object::kStopCause) = 0;
    featureObjectByte(feature, feature_object::kTransition) = kTransitionNone;
    RamControl::add(record);
}

// static int getState(Feature f)
void VMNative_com_olun_kf_KernelNatives_getState(VMThread* t) {
    const word_t record = valid_record(ExecutionContext::refArg(t, 0));
    ExecutionContext::returnInt(t, record != 0 ? featureRuntimeState(record)->state
                                               : static_cast<std::int32_t>(FeatureState::kUninstalled));
}

// static void kill(Feature f)
void VMNative_com_olun_kf_KernelNatives_kill(VMThread* t) {
    const word_t record = record_or_throw(t, ExecutionContext::refArg(t, 0));
    if (record != 0 && feature_manager() != nullptr) feature_manager()->killFeature(record, kStopKilled);
}

// static Feature getNextStoppedFeatureToUpdate(): blocks while none is
// queued, then runs again.
void VMNative_com_olun_kf_KernelNatives_getNextStoppedFeatureToUpdate(VMThread* t) {
    FeatureManager* m = feature_manager();
    if (m == nullptr) {
        return_ref(t, 0);
        return;
    }
    const word_t feature = m->takeStoppedFeature(t);
    if (feature == 0) {
        t->pc -= 5;  // the native-call instruction runs again when resumed
        return;
    }
    return_ref(t, feature);
}

// static void throwDeadFeatureException()
void VMNative_com_olun_kf_KernelNatives_throwDeadFeatureException(VMThread* t) { throw_dead_feature(t); }

// static long getSectionDescriptor(Feature f)
void VMNative_com_olun_kf_KernelNatives_getSectionDescriptor(VMThread* t) {
    const word_t feature = ExecutionContext::refArg(t, 0);
    ExecutionContext::returnLong(t, feature != 0 ? featureObjectHandle(feature) : -1);
}

// static void execClinitWrapper(Feature f)
void VMNative_com_olun_kf_KernelNatives_execClinitWrapper(VMThread* t) {
    const word_t record = record_or_throw(t, ExecutionContext::refArg(t, 0));
    if (record == 0) return;
    const word_t start = featureRecordWord(record, feature_record::kClinitStart);
    const word_t end = featureRecordWord(record, feature_record::kClinitEnd);
    if (end <= start) return;
    const std::int32_t count = static_cast<std::int32_t>((end - start) / 4);
    const word_t wrapper = prelude_member(PreludeMember::_java_Mjava_lang_Thread__clinitWrapper);
    if (wrapper == 0) return;
    // The initialisers run in the application's context, which picks its
    // table in Thread.execClinit.
    const word_t saved = t->ownerFeature;
    FrameRecord* native = t->frame();
    t->ownerFeature = record;
    const std::int32_t args[1] = {count};
    const bool invoked = ExecutionContext::invokeWithArgs(t, wrapper, 0, args, 1, nullptr, 0);
    // The native's caller goes on in its own context when they return.
    if (native != nullptr) native->savedContext = saved;
    if (!invoked) t->ownerFeature = saved;
}

// static boolean checkKernel(byte[] uid, boolean enabled)
void VMNative_com_olun_kf_KernelNatives_checkKernel(VMThread* t) {
    const word_t uid = ExecutionContext::refArg(t, 0);
    const bool enabled = ExecutionContext::intArg(t, 5) != 0;
    bool ok = false;
    // The identity is read from the image on first use; this native may
    // run before any loader native has.
    ensureKernelIdentity();
    if (enabled && uid != 0 && java::array_length(uid) == static_cast<std::int32_t>(installed_struct::kSignatureBytes))
        ok = isCompatibleSignature(java::array_data<std::uint8_t>(uid));
    ExecutionContext::returnInt(t, ok ? 1 : 0);
}

// static boolean isSharedInterface(Class c)
void VMNative_com_olun_kf_KernelNatives_isSharedInterface(VMThread* t) {
    ExecutionContext::returnInt(t, SharedInterfaceProxies::isSharedInterface(ExecutionContext::refArg(t, 0)) ? 1 : 0);
}

// static boolean areEquivalentSharedInterfaces(Class a, Class b)
void VMNative_com_olun_kf_KernelNatives_areEquivalentSharedInterfaces(VMThread* t) {
    const bool same = SharedInterfaceProxies::areEquivalentSharedInterfaces(ExecutionContext::refArg(t, 0),
                                                                            ExecutionContext::refArg(t, 1));
    ExecutionContext::returnInt(t, same ? 1 : 0);
}

// static Class getImplementedSharedInterface(Class type, Class sharedInterface)
void VMNative_com_olun_kf_KernelNatives_getImplementedSharedInterface(VMThread* t) {
    return_ref(t, SharedInterfaceProxies::getImplementedSharedInterface(ExecutionContext::refArg(t, 0),
                                                                       ExecutionContext::refArg(t, 1)));
}

// The shared interface named as `type` among the classes `feature` sees
// (its own, then the kernel's exported ones); 0 when none.
static word_t same_named_shared(word_t type, word_t feature) {
    const word_t record = type != 0 ? image::type_name_record(to_ptr<const void>(type)) : 0;
    const std::int32_t n = record != 0 ? ClassNameResolver::dottedNameLength(record) : -1;
    SharedBuffer* buffer = shared_buffer();
    if (n <= 0 || buffer == nullptr || static_cast<std::uint32_t>(n) + 1 > buffer->length) return 0;
    char16_t chars[256];
    if (n > 255 || ClassNameResolver::writeDottedName(record, chars, n - 1) != 0) return 0;
    char* name = reinterpret_cast<char*>(buffer->bytes);
    for (std::int32_t i = 0; i < n; ++i) name[i] = static_cast<char>(chars[i] & 0xFF);
    name[n] = '\0';
    word_t found = 0;
    if (ClassLookup::classForName(LookupContext{1, feature}, name, n, &found) != 1) return 0;
    return SharedInterfaceProxies::isSharedInterface(found) ? found : 0;
}

// static Class getTargetSharedInterface(Class a, Class b, Feature f): the
// shared interface through which code of f sees what a declares as b.
void VMNative_com_olun_kf_KernelNatives_getTargetSharedInterface(VMThread* t) {
    const word_t featureObject = ExecutionContext::refArg(t, 2);
    if (featureObject == 0) {
        ExecutionContext::throwNew(t, types::null_pointer());
        return;
    }
    const word_t feature = record_or_throw(t, featureObject);
    if (feature == 0) return;
    const word_t a = ExecutionContext::refArg(t, 0);
    const word_t b = ExecutionContext::refArg(t, 1);
    if (a == 0 || b == 0) return return_ref(t, 0);
    const bool kernelB = image::read_u32(to_ptr<const void>(b + image::kTypeOwnerOffset)) == 0;
    const word_t counterpart = kernelB ? b : same_named_shared(b, feature);
    if (counterpart == 0) return return_ref(t, 0);
    if (const word_t same = same_named_shared(a, feature); same != 0) return return_ref(t, same);
    // The deepest shared super-interface of a whose counterpart in f is
    // b's or assignable to it.
    word_t best = 0;
    const std::uint8_t flags = image::type_flags(to_ptr<const void>(a));
    if ((flags & (image::kTypeInterface | image::kTypeArray)) == image::kTypeInterface) {
        if (const word_t supers = image::interface_supers(to_ptr<const void>(a)); supers != 0) {
            for (std::uint32_t k = 0, n = image::read_u32(to_ptr<const void>(supers)); k < n; ++k) {
                const word_t s = image::read_u32(to_ptr<const void>(supers + 4 + 4 * k));
                const word_t there = SharedInterfaceProxies::isSharedInterface(s) ? same_named_shared(s, feature) : 0;
                if (there == 0 || (there != counterpart && VMJProcessor::isAssignable(there, counterpart) == 0)) continue;
                if (best == 0 || image::type_depth(to_ptr<const void>(there)) > image::type_depth(to_ptr<const void>(best)))
                    best = there;
            }
        }
    }
    return_ref(t, best);
}

// static Module getOwner(Object o)
void VMNative_com_olun_kf_KernelNatives_getOwner(VMThread* t) {
    const word_t o = ExecutionContext::refArg(t, 0);
    if (o == 0) {
        ExecutionContext::throwNew(t, types::null_pointer());
        return;
    }
    return_ref(t, module_of(object_owner_feature(o)));
}

// static Module getContextOwner()
void VMNative_com_olun_kf_KernelNatives_getContextOwner(VMThread* t) { return_ref(t, module_of(t->ownerFeature)); }

// static long getAllocatedMemory(Module m)
void VMNative_com_olun_kf_KernelNatives_getAllocatedMemory(VMThread* t) {
    const word_t m = ExecutionContext::refArg(t, 0);
    std::int64_t bytes = 0;
    if (m != 0 && m == kernel_module()) {
        if (HeapSet* heap = heapSet()) bytes = static_cast<std::int64_t>(heap->kernelAllocatedBytes);
    } else if (const word_t record = valid_record(m); record != 0) {
        bytes = static_cast<std::int64_t>(loadU64(featureRuntimeState(record)->allocatedBytes));
    }
    ExecutionContext::returnLong(t, bytes);
}

// The feature argument of setOwner and clone: 0 for the kernel, else a
// valid STARTED application; false with IllegalStateException pending.
static bool target_feature(VMThread* t, word_t feature, word_t* record) {
    *record = 0;
    if (feature == 0) return true;
    *record = valid_record(feature);
    if (*record == 0 || featureRuntimeState(*record)->state != static_cast<std::uint8_t>(FeatureState::kStarted)) {
        ExecutionContext::throwNew(t, vm_type(VMType::_java_Ljava_lang_IllegalStateException));
        return false;
    }
    return true;
}

// The object argument of setOwner and clone (not null) and its target
// feature; false with the exception pending.
static bool object_and_target(VMThread* t, word_t* object, word_t* record) {
    *object = ExecutionContext::refArg(t, 0);
    if (!target_feature(t, ExecutionContext::refArg(t, 1), record)) return false;
    if (*object != 0) return true;
    ExecutionContext::throwNew(t, types::null_pointer());
    return false;
}

// static void setOwner(Object o, Feature f)
void VMNative_com_olun_kf_KernelNatives_setOwner(VMThread* t) {
    word_t o = 0;
    word_t record = 0;
    if (!object_and_target(t, &o, &record)) return;
    if (!FeatureIsolation::setOwner(t->ownerFeature, o, record))
        FeatureIsolation::throwKernelAccessError(t, kIsolationField, 2);
}

// static Object clone(Object o, Feature f)
void VMNative_com_olun_kf_KernelNatives_clone(VMThread* t) {
    word_t o = 0;
    word_t record = 0;
    if (!object_and_target(t, &o, &record)) return;
    const word_t copy = FeatureIsolation::cloneWithOwner(t, o, record);
    if (copy != 0) return_ref(t, copy);
}

// static Proxy newAnonymousProxy(Object target, Feature f): a yq.kf.Proxy
// owned by f (the kernel when null) with the target.
void VMNative_com_olun_kf_KernelNatives_newAnonymousProxy(VMThread* t) {
    word_t record = 0;
    if (!target_feature(t, ExecutionContext::refArg(t, 1), &record)) return;
    const word_t proxy = SharedInterfaceProxies::allocateProxy(t, vm_type(VMType::_java_Lyq_kf_Proxy), record);
    if (proxy == 0) return;
    SharedInterfaceProxies::newProxyInstance(proxy, ExecutionContext::refArg(t, 0));
    return_ref(t, proxy);
}

// static Proxy bind(Object target, Class sharedInterface): a proxy of the
// interface's proxy class (named by the first word of its descriptor)
// holding the target, owned by the module that owns the interface.
void VMNative_com_olun_kf_KernelNatives_bind(VMThread* t) {
    const word_t target = ExecutionContext::refArg(t, 0);
    const word_t shared = ExecutionContext::refArg(t, 1);
    if (!SharedInterfaceProxies::isSharedInterface(shared)) {
        ExecutionContext::throwNew(t, types::illegal_argument());
        return;
    }
    if (target == 0) {
        ExecutionContext::throwNew(t, types::null_pointer());
        return;
    }
    // Arrays implement no interface.
    if (!SharedInterfaceProxies::implementsEquivalent(object_type(target), shared)) {
        ExecutionContext::throwNew(t, types::illegal_access_error());
        return;
    }
    const word_t proxyClass = SharedInterfaceProxies::proxyClassOf(shared);
    const word_t proxyBase = vm_type(VMType::_java_Lyq_kf_Proxy);
    if (proxyClass == 0 || (image::type_flags(to_ptr<const void>(proxyClass)) &
                            (image::kTypeArray | image::kTypeInterface | image::kTypeAbstract)) != 0 ||
        VMJProcessor::isAssignable(proxyClass, proxyBase) == 0) {
        ExecutionContext::throwNew(t, types::illegal_argument());
        return;
    }
    const word_t owner = image::read_u32(to_ptr<const void>(shared + image::kTypeOwnerOffset));
    const word_t proxy = SharedInterfaceProxies::allocateProxy(t, proxyClass, owner);
    if (proxy == 0) return;
    SharedInterfaceProxies::newProxyInstance(proxy, ExecutionContext::refArg(t, 0));
    return_ref(t, proxy);
}

// static InputStream getResourceAsStream(Feature f, String name): the
// application's resource (the kernel's for a null or unlinked Feature), or
// null when it has none of that name.
void VMNative_com_olun_kf_KernelNatives_getResourceAsStream(VMThread* t) {
    const word_t name = ExecutionContext::refArg(t, 1);
    if (name == 0) {
        ExecutionContext::throwNew(t, types::null_pointer());
        return;
    }
    const word_t record = valid_record(ExecutionContext::refArg(t, 0));
    return_ref(t, ClassLookup::openResourceStream(t, LookupContext{0, record}, name, record == 0));
}

// static void enter(): the thread and its two innermost frames (the
// native's and its caller's) run for the kernel.
void VMNative_com_olun_kf_KernelNatives_enter(VMThread* t) {
    t->ownerFeature = 0;
    for (std::uint32_t n = 0; n < 2; ++n) {
        const FrameView f = TulvarVMEngine::walkUpFrames(t, n);
        if (f.frame == nullptr) break;
        f.frame->featureContext = 0;
        f.frame->savedContext = 0;
    }
}

// static void exit(): back to the context the caller's caller runs in.
void VMNative_com_olun_kf_KernelNatives_exit(VMThread* t) {
    const FrameView caller = TulvarVMEngine::walkUpFrames(t, 1);
    const FrameView outer = TulvarVMEngine::walkUpFrames(t, 2);
    if (caller.frame == nullptr) return;
    const word_t context = outer.frame != nullptr ? outer.frame->savedContext : 0;
    if (context != 0 && !feature_is_started(context)) {
        throw_dead_feature(t);
        return;
    }
    // References of other applications do not go back into its code.
    if (context != 0) {
        const image::MethodHeader h = method_header(caller.frame->method);
        word_t* low = caller.refWindow - h.ref_base;
        for (std::uint32_t i = 0; i < h.ref_base + h.refs_above; ++i) {
            const word_t owner = object_owner_feature(low[i]);
            if (owner != 0 && owner != context) low[i] = 0;
        }
    }
    t->ownerFeature = context;
    const FrameView self = TulvarVMEngine::walkUpFrames(t, 0);
    if (self.frame != nullptr) self.frame->featureContext = context;
    caller.frame->featureContext = context;
    caller.frame->savedContext = context;
}

}  // extern "C"
