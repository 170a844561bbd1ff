#include "vm/core/engine/shared_interface_proxies.h"

#include <cstring>

#include "vm/core/engine/engine.h"
#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/feature_context.h"
#include "vm/core/engine/frame_record.h"
#include "vm/core/engine/java_objects.h"
#include "vm/core/engine/object_access.h"
#include "vm/core/engine/runtime_prelude.h"
#include "vm/core/image/type_record.h"
#include "vm/core/image/type_tests.h"
#include "vm/memory/heap_set.h"
#include "vm/core/threads/schedule_context.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/feature_record.h"

namespace tarvelo {

namespace {

constexpr std::uint32_t kIdentifierAt = 4;
constexpr std::uint32_t kIdentifierBytes = 24;
constexpr std::uint32_t kSignatureBytes = 16;
constexpr std::uint32_t kKindsAfterSignature = 24;

// Proxy states (low byte of primitive register 5).
enum ProxyState : std::int32_t {
    kEnterKernel = 0,
    kTransferArguments = 1,
    kInvokeTarget = 2,
    kTransferResult = 3,
    kRestoreCaller = 4,
    kTargetThrew = 5,
};

std::uint32_t word_at(word_t a) {
    std::uint32_t v;
    std::memcpy(&v, to_ptr<const void>(a), 4);
    return v;
}

const void* at(word_t a) { return to_ptr<const void>(a); }

// A shared interface's method in one class's interface method table.
struct SharedMethod {
    word_t interface = 0;
    word_t table = 0;       // the interface method table
    std::uint32_t index = 0;
    word_t descriptor = 0;  // the method's descriptor
    word_t method = 0;
};

std::uint32_t method_count(word_t table) {
    const std::uint32_t descriptors = word_at(table + 4);
    return descriptors >= 8 ? (descriptors - 8) / 4 : 0;
}

word_t method_descriptor(word_t table, std::uint32_t k) { return word_at(table + word_at(table + 4) + 4 * k); }

// Calls `visit(table, interface)` for each interface method table of a
// class for a shared interface, until it answers true.
template <typename Visit>
bool each_shared_table(word_t classType, Visit visit) {
    if (classType == 0 || (image::type_flags(at(classType)) & (image::kTypeArray | image::kTypeInterface)) != 0) return false;
    const word_t itable = image::class_interface_table(at(classType));
    if (itable == 0) return false;
    const std::uint32_t lo = image::read_u16(static_cast<const std::uint8_t*>(at(itable)));
    const std::uint32_t hi = image::read_u16(static_cast<const std::uint8_t*>(at(itable)) + 2);
    for (std::uint32_t id = lo; id <= hi; ++id) {
        const word_t table = word_at(itable + 4 + 4 * (id - lo));
        if (table == 0) continue;
        const word_t interface = word_at(table);
        if (!SharedInterfaceProxies::isSharedInterface(interface) || word_at(table + 4) == 0) continue;
        if (visit(table, interface)) return true;
    }
    return false;
}

// The shared method the proxy's class implements with `method`.
bool find_proxy_method(word_t proxy, word_t method, SharedMethod* out) {
    return each_shared_table(object_type(proxy), [&](word_t table, word_t interface) {
        for (std::uint32_t k = 0, n = method_count(table); k < n; ++k) {
            if (word_at(table + 8 + 4 * k) != method) continue;
            *out = {interface, table, k, method_descriptor(table, k), method};
            return true;
        }
        return false;
    });
}

// The target's method equivalent to `wanted`: same interface identifier,
// same signature.
bool find_target_method(word_t target, const SharedMethod& wanted, SharedMethod* out) {
    const std::uint32_t n = word_at(wanted.descriptor + 4);
    const word_t signature = wanted.descriptor + 4 * (3 + n);
    return each_shared_table(object_type(target), [&](word_t table, word_t interface) {
        if (!SharedInterfaceProxies::areEquivalentSharedInterfaces(interface, wanted.interface)) return false;
        for (std::uint32_t k = 0, m = method_count(table); k < m; ++k) {
            const word_t d = method_descriptor(table, k);
            if (d == 0 || word_at(d + 4) != n) continue;
            if (std::memcmp(at(d + 4 * (3 + n)), at(signature), kSignatureBytes) != 0) continue;
            const word_t impl = word_at(table + 8 + 4 * k);
            if (impl == 0) return false;
            *out = {interface, table, k, d, impl};
            return true;
        }
        return false;
    });
}

// Transfer kinds: the result's, then the arguments'.
const std::uint8_t* kinds_of(const SharedMethod& m) {
    const std::uint32_t n = word_at(m.descriptor + 4);
    return static_cast<const std::uint8_t*>(at(m.descriptor + 4 * (3 + n) + kKindsAfterSignature));
}
std::uint8_t result_kind(const SharedMethod& m) { return kinds_of(m)[0] & 7u; }
std::uint8_t argument_kind(const SharedMethod& m, std::uint32_t k) { return kinds_of(m)[1 + k] & 7u; }

// Whether a reference may cross to `feature` as it is: null, kind 0, a
// kernel object, one of `feature`'s own, or anything for the kernel.
bool passes(word_t value, std::uint8_t kind, word_t feature) {
    // The kernel may hold anything.
    if (value == 0 || kind == 0 || feature == 0) return true;
    const word_t owner = object_owner_feature(value);
    return owner == 0 || owner == feature;
}

word_t proxy_target(word_t proxy) { return word_at(proxy - 4); }

// An application's array crosses to `feature` as a copy that `feature`
// owns (changes made by the target are not seen by the caller): an array
// of primitives with its contents; an array of references whose elements
// all may cross as they are (null, the kernel's, `feature`'s own) with the
// same elements. False when the value is no such array, or with the
// exception pending (feature stopped, out of memory). `slot` is a register
// of the frame: it is read again after the allocation, which may move
// objects.
bool copy_array(VMThread* t, word_t* slot, word_t feature) {
    const word_t value = *slot;
    const word_t type = object_type(value);
    if ((image::type_flags(at(type)) & image::kTypeArray) == 0) return false;
    // An array type of an application makes its arrays that application's.
    if (word_at(type + image::kTypeOwnerOffset) != 0) return false;
    const std::uint32_t element = image::array_element(at(type));
    const std::int32_t length = java::array_length(value);
    const bool primitive = memory::is_primitive_element(element);
    if (!primitive) {
        const auto* items = java::array_data<const word_t>(value);
        for (std::int32_t i = 0; i < length; ++i) {
            const word_t owner = object_owner_feature(items[i]);
            if (items[i] != 0 && owner != 0 && owner != feature) return false;
        }
    }
    if (feature != 0 && !feature_is_started(feature)) {
        throw_dead_feature(t);
        return false;
    }
    const word_t saved = t->ownerFeature;
    t->ownerFeature = feature;
    const word_t copy = heapSet()->allocateArray(type, length);
    t->ownerFeature = saved;
    if (copy == 0) return false;
    const std::size_t bytes = static_cast<std::size_t>(length) * (primitive ? memory::element_size(element) : 4u);
    std::memcpy(java::array_data<std::uint8_t>(copy), java::array_data<std::uint8_t>(*slot), bytes);
    *slot = copy;
    return true;
}

constexpr std::int32_t kConverting = 1 << 24;

// Starts the kernel's conversion of `value` for `feature` (yq.kf.Kernel.bind
// with the value, its declared type and the feature's Feature object, null
// for the kernel): the call returns into the proxy instruction, which then
// finds the converted value where the call's result lies. False when the
// kernel has no conversion (nothing started).
bool start_conversion(VMThread* t, word_t opcode, word_t value, word_t declared, word_t feature) {
    const word_t bind = prelude_member(PreludeMember::_java_Myq_kf_Kernel__bind);
    if (bind == 0) return false;
    word_t* refArgs;
    std::int32_t* primTop;
    TulvarVMEngine::nextWindows(t, &refArgs, &primTop);
    refArgs[0] = value;
    refArgs[1] = declared;
    refArgs[2] = feature != 0 ? featureRuntimeState(feature)->featureObject : 0;
    t->pc = opcode;
    t->thisObject = 0;
    charge_quantum(t);
    if (TulvarVMEngine::invokeMethod(t, bind, refArgs, primTop)) {
        FrameRecord* f = t->frame();
        f->flags = static_cast<std::uint16_t>(f->flags | kFrameProxyCall);
    }
    return true;
}

// The value a finished conversion call returned.
word_t conversion_result(VMThread* t) {
    word_t* refArgs;
    std::int32_t* primTop;
    TulvarVMEngine::nextWindows(t, &refArgs, &primTop);
    return refArgs[0];
}

// The caller's application context back; a stopped one raises
// DeadFeatureException.
bool restore_caller(VMThread* t, FrameRecord* frame) {
    t->ownerFeature = frame->featureContext;
    if (frame->featureContext != 0 && !feature_is_started(frame->featureContext)) {
        throw_dead_feature(t);
        return false;
    }
    return true;
}

word_t fail(VMThread* t, FrameRecord* frame, word_t type) {
    frame->prim()[5] = 0;
    t->ownerFeature = frame->featureContext;
    ExecutionContext::throwNew(t, type);
    return 0;
}

}  // namespace

bool SharedInterfaceProxies::isSharedInterface(word_t type) {
    return type != 0 && (image::type_flags(at(type)) & (image::kTypeInterface | image::kTypeArray)) == image::kTypeInterface &&
           image::interface_shared_descriptor(at(type)) != 0;
}

bool SharedInterfaceProxies::areEquivalentSharedInterfaces(word_t a, word_t b) {
    if (!isSharedInterface(a) || !isSharedInterface(b)) return false;
    return std::memcmp(at(image::interface_shared_descriptor(at(a)) + kIdentifierAt),
                       at(image::interface_shared_descriptor(at(b)) + kIdentifierAt), kIdentifierBytes) == 0;
}

word_t SharedInterfaceProxies::getImplementedSharedInterface(word_t type, word_t shared) {
    if (type == 0) return 0;
    if (isSharedInterface(type)) return type;
    word_t best = 0;
    auto consider = [&](word_t i) {
        if (!isSharedInterface(i) || VMJProcessor::isAssignable(i, shared) == 0) return;
        if (best == 0 || image::type_depth(at(i)) > image::type_depth(at(best))) best = i;
    };
    const std::uint8_t flags = image::type_flags(at(type));
    if ((flags & image::kTypeArray) != 0) {
        // Arrays implement no shared interface.
    } else if ((flags & image::kTypeInterface) != 0) {
        if (const word_t supers = image::interface_supers(at(type)); supers != 0)
            for (std::uint32_t k = 0, n = word_at(supers); k < n; ++k) consider(word_at(supers + 4 + 4 * k));
    } else if (const word_t itable = image::class_interface_table(at(type)); itable != 0) {
        const std::uint32_t lo = image::read_u16(static_cast<const std::uint8_t*>(at(itable)));
        const std::uint32_t hi = image::read_u16(static_cast<const std::uint8_t*>(at(itable)) + 2);
        for (std::uint32_t id = lo; id <= hi; ++id)
            if (const word_t table = word_at(itable + 4 + 4 * (id - lo)); table != 0) consider(word_at(table));
    }
    if (best != 0) return best;
    return isSharedInterface(shared) ? shared : 0;
}

word_t SharedInterfaceProxies::allocateProxy(VMThread* t, word_t proxyType, word_t feature) {
    if (feature != 0 && !feature_is_started(feature)) {
        ExecutionContext::throwNew(t, types::dead_feature());
        return 0;
    }
    t->ownerFeature = feature;
    const word_t proxy = heapSet()->allocateObject(proxyType);
    t->ownerFeature = 0;
    return proxy;
}

void SharedInterfaceProxies::newProxyInstance(word_t proxy, word_t target) {
    std::memcpy(to_ptr<void>(proxy - 4), &target, 4);
}

word_t SharedInterfaceProxies::invokeProxy(VMThread* t, word_t opcode) {
    FrameRecord* frame = t->frame();
    const image::MethodHeader h = method_header(frame->method);
    std::int32_t* prim = frame->prim();
    word_t* refs = to_ptr<word_t>(t->refWindow) - h.ref_base;
    const word_t proxy = refs[0];
    std::int32_t state = prim[5] & 0xFF;

    if (state == kTargetThrew) return fail(t, frame, vm_type(VMType::_java_Lyq_kf_ProxyInvocationException));
    SharedMethod own{};
    if (proxy == 0 || !find_proxy_method(proxy, frame->method, &own)) return fail(t, frame, types::illegal_argument());
    word_t target = proxy_target(proxy);
    if (target == 0) return fail(t, frame, types::dead_feature());
    SharedMethod callee{};
    if (!find_target_method(target, own, &callee)) return fail(t, frame, types::illegal_access_error());
    const word_t targetFeature = object_owner_feature(target);
    const std::uint32_t n = word_at(own.descriptor + 4);
    const std::uint32_t primArgs = word_at(own.descriptor + 8);

    if (state == kEnterKernel) {
        t->ownerFeature = 0;
        state = kTransferArguments;
    }
    if (state == kTransferArguments) {
        // The reference arguments follow the receiver in declaration order;
        // a conversion call in progress names its argument in bits 8-15.
        std::uint32_t from = 0;
        const bool converted = (prim[5] & kConverting) != 0;
        if (converted) from = static_cast<std::uint32_t>(prim[5] >> 8) & 0xFFu;
        for (std::uint32_t k = 0, r = 1; k < n; ++k) {
            if (word_at(own.descriptor + 4 * (3 + k)) == 0 && argument_kind(own, k) == 0) continue;  // primitive
            if (r >= h.ref_args) break;
            if (k < from) { ++r; continue; }
            if (converted && k == from) {
                refs[r] = conversion_result(t);
                ++r;
                continue;
            }
            if (!passes(refs[r], argument_kind(own, k), targetFeature) &&
                !copy_array(t, &refs[r], targetFeature)) {
                if (t->pendingException == 0) {
                    // The kernel converts it: the call returns here.
                    prim[5] = kTransferArguments | static_cast<std::int32_t>(k << 8) | kConverting;
                    if (start_conversion(t, opcode, refs[r], word_at(callee.descriptor + 4 * (3 + k)), targetFeature))
                        return 0;
                    FeatureIsolation::throwKernelAccessError(t, kIsolationParameter, 3);
                }
                prim[5] = 0;
                t->ownerFeature = frame->featureContext;
                return 0;
            }
            ++r;
        }
        state = kInvokeTarget;
    }
    if (state == kInvokeTarget) {
        // A copy may have moved the objects: read them again.
        target = proxy_target(refs[0]);
        if (target == 0) return fail(t, frame, types::dead_feature());
        word_t* refArgs;
        std::int32_t* primTop;
        TulvarVMEngine::nextWindows(t, &refArgs, &primTop);
        refArgs[0] = target;
        for (std::uint32_t r = 1; r < h.ref_args; ++r) refArgs[r] = refs[r];
        for (std::uint32_t i = 0; i < primArgs; ++i) primTop[-1 - static_cast<std::int32_t>(i)] = prim[h.frame_words - 1 - i];
        prim[5] = kTransferResult;
        t->pc = opcode;
        t->thisObject = target;
        charge_quantum(t);
        if (TulvarVMEngine::invokeMethod(t, callee.method, refArgs, primTop)) {
            // An exception the target does not handle ends at this frame.
            FrameRecord* f = t->frame();
            f->flags = static_cast<std::uint16_t>(f->flags | kFrameProxyCall);
        }
        return 0;
    }
    if (state == kTransferResult) {
        word_t* refArgs;
        std::int32_t* primTop;
        TulvarVMEngine::nextWindows(t, &refArgs, &primTop);
        if (h.returns_ref) {
            const word_t result = refArgs[0];
            if ((prim[5] & kConverting) == 0 && !passes(result, result_kind(own), frame->featureContext)) {
                // The kernel converts it for the caller: the call returns here.
                prim[5] = kTransferResult | kConverting;
                if (start_conversion(t, opcode, result, word_at(own.descriptor), frame->featureContext)) return 0;
                prim[5] = 0;
                t->ownerFeature = frame->featureContext;
                FeatureIsolation::throwKernelAccessError(t, kIsolationReturn, 3);
                return 0;
            }
            refs[0] = result;
        } else {
            // One or two result words at the top of the frame, never over
            // the state word.
            prim[h.frame_words - 1] = primTop[-1];
            if (h.frame_words - 2 > 5) prim[h.frame_words - 2] = primTop[-2];
        }
        state = kRestoreCaller;
    }
    prim[5] = 0;
    if (!restore_caller(t, frame)) return 0;
    return opcode + 1;
}

}  // namespace tarvelo
