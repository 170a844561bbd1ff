#include "vm/core/engine/shared_interface_proxies.h"

#include <cstring>

#include "vm/core/engine/engine.h"
#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/feature_context.h"
#include "vm/core/engine/frame_record.h"
#include "vm/core/engine/java_objects.h"
#include "vm/core/engine/object_access.h"
#include "vm/core/engine/runtime_prelude.h"
#include "vm/model/type_record.h"
#include "vm/model/type_tests.h"
#include "vm/memory/heap_set.h"
#include "vm/core/threads/schedule_context.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/feature_record.h"

namespace tarvelo {

namespace {

constexpr std::uint32_t kProxyClassAt = 0;  // the interface's proxy class
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

// The shared method the proxy class implements with `method`.
bool find_proxy_method(word_t proxyClass, word_t method, SharedMethod* out) {
    return each_shared_table(proxyClass, [&](word_t table, word_t interface) {
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
std::uint8_t result_kind(const SharedMethod& m) { return kinds_of(m)[0]; }
std::uint8_t argument_kind(const SharedMethod& m, std::uint32_t k) { return kinds_of(m)[1 + k]; }
// A declared type of 0 is a primitive (or no result).
word_t declared_argument(const SharedMethod& m, std::uint32_t k) { return word_at(m.descriptor + 4 * (3 + k)); }

// Transfer kinds (low three bits of a kind byte).
enum TransferKind : std::uint8_t {
    kUnchanged = 0,
    kConvert = 1,
    kConvertTo = 2,  // bits 3-7: the argument holding the class
    kForeign = 3,    // kernel objects pass, an application's are converted
};

// State word fields (primitive register 5 of the proxy method's frame).
constexpr std::int32_t kStateMask = 0xFF;
constexpr int kIndexShift = 8;
constexpr int kLevelShift = 16;
constexpr std::uint32_t kNoLevel = 0xFF;  // not inside an array being walked
constexpr std::int32_t kConverting = 1 << 24;
// Registers from 6 hold the element position reached at each level of an
// array being walked.
constexpr std::int32_t kFirstPosition = 6;

std::int32_t state_word(std::int32_t state, std::uint32_t index, std::uint32_t level, bool converting) {
    return state | static_cast<std::int32_t>(index << kIndexShift) | static_cast<std::int32_t>(level << kLevelShift) |
           (converting ? kConverting : 0);
}

word_t proxy_target(word_t proxy) { return word_at(proxy - 4); }

// `type` is a type header (not 0 nor a primitive element code) of an array.
bool is_array_type(word_t type) {
    return type > memory::kLastElementCode && (image::type_flags(at(type)) & image::kTypeArray) != 0;
}

// A declared array type: its dimensions, whether its innermost elements
// are references, and their declared type.
struct ArrayShape {
    std::uint32_t dims = 0;
    bool referenceElements = false;
    word_t element = 0;
};

ArrayShape shape_of(word_t declared) {
    ArrayShape s;
    word_t type = declared;
    while (is_array_type(type) && s.dims < 255) {
        ++s.dims;
        type = image::array_element(at(type));
    }
    s.referenceElements = s.dims > 0 && !memory::is_primitive_element(type);
    s.element = s.referenceElements ? type : 0;
    return s;
}

// Whether a value must be converted by the kernel to cross to `feature`
// (0: the kernel, which may hold anything by default).
bool needs_conversion(word_t value, std::uint8_t kind, word_t feature) {
    if (value == 0) return false;
    switch (kind & 7u) {
        case kConvert: case kConvertTo: return true;
        case kForeign: {
            const word_t owner = object_owner_feature(value);
            return owner != 0 && feature != 0 && owner != feature;
        }
        default: return false;  // unchanged, and kinds that are not transferred
    }
}

// An array another module may get a copy of: the array types of
// applications make their arrays that application's for good.
bool copyable_array(word_t value) {
    const word_t type = object_type(value);
    return is_array_type(type) && word_at(type + image::kTypeOwnerOffset) == 0;
}

// One value crossing to `feature`, lying in a register of the proxy
// frame (scanned by the collector, read again after every allocation).
struct Transfer {
    word_t* slot;
    word_t declared;        // its declared type (an array type or a class)
    std::uint8_t kind;      // the kind byte
    word_t feature;
    std::int32_t state;     // kTransferArguments or kTransferResult
    std::uint32_t index;    // the argument's index (0 for the result)
};

// The proxy method's activation, as the transfers need it.
struct ProxyFrame {
    VMThread* t;
    word_t opcode;
    std::int32_t* prim;
    word_t* refs;
    const SharedMethod* own;
    std::uint32_t positions;  // registers from 6 free for positions
};

enum class Step { kDone, kCalling, kFailed };

// The array `depth` levels down from *root along `path`.
word_t array_at(word_t root, const std::int32_t* path, std::uint32_t depth) {
    word_t a = root;
    for (std::uint32_t i = 0; i < depth; ++i) a = java::array_data<const word_t>(a)[path[i]];
    return a;
}

// Copies the array at `path` (depth `depth`, 0: the slot itself) for
// `feature`, storing the copy where the original was.
bool copy_one(VMThread* t, word_t* slot, const std::int32_t* path, std::uint32_t depth, word_t feature) {
    const word_t original = array_at(*slot, path, depth);
    const word_t type = object_type(original);
    const std::int32_t length = java::array_length(original);
    const word_t saved = t->ownerFeature;
    t->ownerFeature = feature;
    const word_t copy = heapSet()->allocateArray(type, length);
    t->ownerFeature = saved;
    if (copy == 0) return false;
    // The allocation may have moved every object: find them again.
    const word_t source = array_at(*slot, path, depth);
    const std::uint32_t element = image::array_element(at(type));
    std::memcpy(java::array_data<std::uint8_t>(copy), java::array_data<const std::uint8_t>(source),
                static_cast<std::size_t>(length) * memory::element_size(element));
    if (depth == 0) *slot = copy;
    else java::array_data<word_t>(array_at(*slot, path, depth - 1))[path[depth - 1]] = copy;
    return true;
}

// An application's array crossing to `feature` (started), copied level by
// level: a new array of the same type and length owned by `feature`, with
// the contents; at the levels above the innermost of `dims` (where the
// elements are arrays) every element array of an application is copied the
// same way, kernel arrays are kept. False with the exception pending.
bool copy_levels(VMThread* t, const Transfer& x, std::uint32_t dims) {
    std::int32_t path[256] = {};
    if (!copy_one(t, x.slot, path, 0, x.feature)) return false;
    std::uint32_t depth = 0;
    path[0] = 0;
    for (;;) {
        const word_t a = array_at(*x.slot, path, depth);
        const bool arrays = depth + 1 < dims && !memory::is_primitive_element(image::array_element(at(object_type(a))));
        if (!arrays || path[depth] >= java::array_length(a)) {
            if (depth == 0) return true;
            ++path[--depth];
            continue;
        }
        const word_t e = java::array_data<const word_t>(a)[path[depth]];
        if (e != 0 && object_owner_feature(e) != 0) {
            if (!copyable_array(e)) {
                // Another application's own array type cannot cross.
                FeatureIsolation::throwKernelAccessError(
                    t, x.state == kTransferResult ? kIsolationReturn : kIsolationParameter, 3);
                return false;
            }
            if (!copy_one(t, x.slot, path, depth + 1, x.feature)) return false;
            path[++depth] = 0;
            continue;
        }
        ++path[depth];
    }
}

// Whether `a` is an array of references. The declared type gives the
// levels to walk, but a caller whose own declaration differs (references
// are all alike in a signature) may pass an array of primitives where the
// target declares one of arrays.
bool holds_references(word_t a) {
    return a != 0 && is_array_type(object_type(a)) && !memory::is_primitive_element(image::array_element(at(object_type(a))));
}

// The array reached from `root` through the positions of `depth` levels,
// each checked; 0 when they lead nowhere.
word_t walked_array(word_t root, const std::int32_t* pos, std::uint32_t depth) {
    word_t a = root;
    for (std::uint32_t i = 0; i < depth; ++i) {
        if (!holds_references(a) || pos[i] < 0 || pos[i] >= java::array_length(a)) return 0;
        a = java::array_data<const word_t>(a)[pos[i]];
    }
    return holds_references(a) ? a : 0;
}

// The next innermost element at or after the positions `pos` (one per
// level) that must be converted, descending only into the arrays copied for
// `feature`; false when none is left.
bool next_leaf(const Transfer& x, std::uint32_t dims, std::int32_t* pos, word_t* value) {
    std::uint32_t depth = 0;
    bool restart = false;  // deeper levels start from 0 once a position moved
    for (;;) {
        const word_t a = array_at(*x.slot, pos, depth);
        if (!holds_references(a) || pos[depth] < 0 || pos[depth] >= java::array_length(a)) {
            if (depth == 0) return false;
            ++pos[--depth];
            restart = true;
            continue;
        }
        const word_t e = java::array_data<const word_t>(a)[pos[depth]];
        if (depth + 1 == dims) {
            if (needs_conversion(e, x.kind, x.feature)) {
                *value = e;
                return true;
            }
        } else if (object_owner_feature(e) == x.feature && holds_references(e)) {
            ++depth;
            if (restart) pos[depth] = 0;
            continue;
        }
        ++pos[depth];
        restart = true;
    }
}

// The value of the argument that kind 2 names, which must be a Class; 0
// when it is not.
word_t class_argument(const ProxyFrame& c, std::uint32_t index) {
    const std::uint32_t n = word_at(c.own->descriptor + 4);
    if (index >= n || declared_argument(*c.own, index) == 0) return 0;
    std::uint32_t r = 1;
    for (std::uint32_t k = 0; k < index; ++k)
        if (declared_argument(*c.own, k) != 0) ++r;
    const word_t v = c.refs[r];
    return v != 0 && object_type(v) == vm_type(VMType::_java_Ljava_lang_Class) ? v : 0;
}

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

// Converts `value` (declared as `declared`) through the kernel, the state
// word saying where the result goes when the call returns.
Step convert(const ProxyFrame& c, const Transfer& x, word_t value, word_t declared, std::uint32_t level) {
    word_t type = declared;
    if ((x.kind & 7u) == kConvertTo) {
        type = class_argument(c, static_cast<std::uint32_t>(x.kind >> 3));
        if (type == 0) {
            ExecutionContext::throwNew(c.t, types::illegal_argument());
            return Step::kFailed;
        }
    }
    c.prim[5] = state_word(x.state, x.index, level, true);
    if (start_conversion(c.t, c.opcode, value, type, x.feature)) return Step::kCalling;
    FeatureIsolation::throwKernelAccessError(c.t, x.state == kTransferResult ? kIsolationReturn : kIsolationParameter, 3);
    return Step::kFailed;
}

// Transfers one value; `saved` is the state word this value left when a
// conversion call or a walk through its array was under way (else 0).
Step transfer(const ProxyFrame& c, const Transfer& x, std::int32_t saved) {
    if ((x.kind & 7u) > kForeign) return Step::kDone;  // not transferred
    const bool converting = (saved & kConverting) != 0;
    const std::uint32_t level = saved != 0 ? (static_cast<std::uint32_t>(saved) >> kLevelShift) & 0xFFu : kNoLevel;
    const ArrayShape shape = shape_of(x.declared);
    if (shape.dims == 0 || (level == kNoLevel && converting)) {
        // Not declared an array, or an array converted whole.
        if (converting) {
            *x.slot = conversion_result(c.t);
            return Step::kDone;
        }
        if (!needs_conversion(*x.slot, x.kind, x.feature)) return Step::kDone;
        return convert(c, x, *x.slot, x.declared, kNoLevel);
    }
    // The walk's positions: kept in the registers from 6 while a conversion
    // call runs, so only a walk that makes one needs room for them there.
    std::int32_t pos[256] = {};
    std::int32_t* const kept = c.prim + kFirstPosition;
    if (level == kNoLevel) {
        // A kernel array, one of the receiving side's, anything for the
        // kernel, and what crosses unchanged pass as they are.
        const word_t value = *x.slot;
        const word_t owner = object_owner_feature(value);
        if (value == 0 || (x.kind & 7u) == kUnchanged || x.feature == 0 || owner == 0 || owner == x.feature)
            return Step::kDone;
        if (!copyable_array(value)) return convert(c, x, value, x.declared, kNoLevel);
        if (!feature_is_started(x.feature)) {
            throw_dead_feature(c.t);
            return Step::kFailed;
        }
        if (!copy_levels(c.t, x, shape.dims)) return Step::kFailed;
        if (!shape.referenceElements) return Step::kDone;
    } else if (converting) {
        // The converted element goes where the original was, if the array
        // can hold it.
        if (shape.dims > c.positions) {
            ExecutionContext::throwNew(c.t, types::illegal_argument());
            return Step::kFailed;
        }
        for (std::uint32_t i = 0; i < shape.dims; ++i) pos[i] = kept[i];
        const word_t converted = conversion_result(c.t);
        const word_t a = walked_array(*x.slot, pos, shape.dims - 1);
        if (a == 0 || pos[shape.dims - 1] < 0 || pos[shape.dims - 1] >= java::array_length(a)) {
            ExecutionContext::throwNew(c.t, types::illegal_argument());
            return Step::kFailed;
        }
        const word_t element = image::array_element(at(object_type(a)));
        if (converted != 0 && VMJProcessor::isAssignable(object_type(converted), element) == 0) {
            ExecutionContext::throwNew(c.t, types::array_store());
            return Step::kFailed;
        }
        java::array_data<word_t>(a)[pos[shape.dims - 1]] = converted;
        ++pos[shape.dims - 1];
    }
    word_t leaf = 0;
    if (!next_leaf(x, shape.dims, pos, &leaf)) return Step::kDone;
    if (shape.dims > c.positions) {
        // The proxy method keeps no room for the positions.
        ExecutionContext::throwNew(c.t, types::illegal_argument());
        return Step::kFailed;
    }
    for (std::uint32_t i = 0; i < shape.dims; ++i) kept[i] = pos[i];
    return convert(c, x, leaf, shape.element, shape.dims - 1);
}

// Whether a transferred value is of the type its receiver declares: the
// two sides' declarations of a method may name different reference types
// (a signature tells only that they are references), and the receiving
// code relies on its own.
bool fits(word_t value, word_t declared) {
    return value == 0 || declared == 0 || VMJProcessor::isAssignable(object_type(value), declared) != 0;
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

// A transfer failed with its exception pending: the caller's context back.
word_t failed(VMThread* t, FrameRecord* frame) {
    frame->prim()[5] = 0;
    t->ownerFeature = frame->featureContext;
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

word_t SharedInterfaceProxies::proxyClassOf(word_t sharedInterface) {
    if (!isSharedInterface(sharedInterface)) return 0;
    return word_at(image::interface_shared_descriptor(at(sharedInterface)) + kProxyClassAt);
}

bool SharedInterfaceProxies::implementsEquivalent(word_t type, word_t sharedInterface) {
    return each_shared_table(type, [&](word_t, word_t interface) {
        return areEquivalentSharedInterfaces(interface, sharedInterface);
    });
}

word_t SharedInterfaceProxies::invokeProxy(VMThread* t, word_t opcode) {
    FrameRecord* frame = t->frame();
    const image::MethodHeader h = method_header(frame->method);
    // A proxy method keeps its state word in p5.
    if (h.frame_words < 6) {
        ExecutionContext::throwNew(t, types::illegal_argument());
        return 0;
    }
    std::int32_t* prim = frame->prim();
    word_t* refs = to_ptr<word_t>(t->refWindow) - h.ref_base;
    const std::int32_t saved = prim[5];
    std::int32_t state = saved & kStateMask;

    if (state == kTargetThrew) return fail(t, frame, vm_type(VMType::_java_Lyq_kf_ProxyInvocationException));
    // The shared method: through the receiver's class while it lies in the
    // receiver register, through the method's own class once the result
    // does.
    SharedMethod own{};
    const word_t proxyClass = state >= kTransferResult ? word_at(frame->method) : object_type(refs[0]);
    if ((state < kTransferResult && refs[0] == 0) || !find_proxy_method(proxyClass, frame->method, &own))
        return fail(t, frame, types::illegal_argument());
    const std::uint32_t n = word_at(own.descriptor + 4);
    const std::uint32_t primArgs = word_at(own.descriptor + 8);
    // The arguments' words lie in the frame, above the state word.
    if (primArgs > h.frame_words - 6u) return fail(t, frame, types::illegal_argument());
    const std::int32_t free = static_cast<std::int32_t>(h.frame_words) - static_cast<std::int32_t>(primArgs) - kFirstPosition;
    const ProxyFrame call{t, opcode, prim, refs, &own, free > 0 ? static_cast<std::uint32_t>(free) : 0u};

    SharedMethod callee{};
    word_t targetFeature = 0;
    if (state < kTransferResult) {
        const word_t target = proxy_target(refs[0]);
        if (target == 0) return fail(t, frame, types::dead_feature());
        if (!find_target_method(target, own, &callee)) return fail(t, frame, types::illegal_access_error());
        targetFeature = object_owner_feature(target);
    }

    if (state == kEnterKernel) {
        t->ownerFeature = 0;
        state = kTransferArguments;
    }
    if (state == kTransferArguments) {
        // The reference arguments follow the receiver in declaration order;
        // a transfer under way names its argument in bits 8-15.
        const bool resuming = (saved & kStateMask) == kTransferArguments;
        const std::uint32_t from = resuming ? (static_cast<std::uint32_t>(saved) >> kIndexShift) & 0xFFu : 0;
        for (std::uint32_t k = 0, r = 1; k < n; ++k) {
            const word_t declared = declared_argument(callee, k);
            if (declared_argument(own, k) == 0) continue;  // a primitive
            if (r >= h.ref_args) break;
            if (k >= from) {
                const Transfer x{&refs[r], declared, argument_kind(own, k), targetFeature, kTransferArguments, k};
                const Step step = transfer(call, x, resuming && k == from ? saved : 0);
                if (step == Step::kCalling) return 0;
                if (step == Step::kFailed) return failed(t, frame);
                if (!fits(refs[r], declared)) return fail(t, frame, types::illegal_argument());
            }
            ++r;
        }
        state = kInvokeTarget;
    }
    if (state == kInvokeTarget) {
        // A copy may have moved the objects: read them again.
        const word_t target = proxy_target(refs[0]);
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
        // The target's return brought the caller's context back: the
        // transfer runs for the kernel.
        t->ownerFeature = 0;
        if (h.returns_ref) {
            // The result waits in the result register (the receiver's) while
            // it is transferred for the caller.
            if (saved == kTransferResult) refs[0] = conversion_result(t);
            const Transfer x{&refs[0], word_at(own.descriptor), result_kind(own), frame->featureContext, kTransferResult, 0};
            const Step step = transfer(call, x, saved == kTransferResult ? 0 : saved);
            if (step == Step::kCalling) return 0;
            if (step == Step::kFailed) return failed(t, frame);
            if (!fits(refs[0], x.declared)) return fail(t, frame, types::illegal_argument());
        } else {
            // One or two result words at the top of the frame, never over
            // the state word.
            word_t* refArgs;
            std::int32_t* primTop;
            TulvarVMEngine::nextWindows(t, &refArgs, &primTop);
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
