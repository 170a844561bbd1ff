#include "vm/model/type_tests.h"

#include "vm/model/object_header.h"
#include "vm/model/type_record.h"

namespace tarvelo {

namespace {

// The most dimensions an array type can have, as in the class-file format.
constexpr int kMaxArrayDimensions = 255;

const void* T(word_t type) { return to_ptr<const void>(type); }
bool isArray(word_t t) { return image::type_is_array(T(t)); }
bool isInterface(word_t t) { return image::type_is_interface(T(t)); }
std::uint8_t depth(word_t t) { return image::type_depth(T(t)); }
std::uint32_t wordAt(word_t addr) { return *to_ptr<const std::uint32_t>(addr); }

}  // namespace

int VMJProcessor::hierarchyContains(word_t iface, word_t other) {
    word_t supers = image::interface_supers(T(iface));
    if (supers == 0) return 0;
    const auto* table = to_ptr<const std::uint32_t>(supers);
    for (std::uint32_t i = table[0]; i > 0; --i) {
        if (table[i] == other) return 1;
    }
    return 0;
}

int VMJProcessor::interfaceTest(word_t klass, word_t iface) {
    word_t itable = image::class_interface_table(T(klass));
    if (itable == 0) return 0;
    std::uint16_t low = image::read_u16(to_ptr<const void>(itable + image::kItableLowOffset));
    std::uint16_t high = image::read_u16(to_ptr<const void>(itable + image::kItableHighOffset));
    std::uint16_t id = image::interface_id(T(iface));
    if (id < low || id > high) return 0;
    word_t imt = wordAt(itable + image::kItableEntriesOffset + 4u * (id - low));
    if (imt == 0) return 0;
    return wordAt(imt + 4u * image::kImtInterfaceWord) == iface ? 1 : 0;
}

int VMJProcessor::isAssignable(word_t source, word_t target) {
    word_t s = source;
    word_t t = target;
    // Each turn strips one array dimension from both types; no array type
    // has more than 255, so a longer descent is a malformed (cyclic)
    // element chain.
    for (int turn = 0; turn <= kMaxArrayDimensions; ++turn) {
        if (s == t) return 1;
        if (isArray(s)) {
            if (!isArray(t)) return !isInterface(t) && depth(t) == 0 ? 1 : 0;
            word_t es = image::array_element(T(s));
            word_t et = image::array_element(T(t));
            if (memory::is_primitive_element(es) || memory::is_primitive_element(et)) {
                return es == et ? 1 : 0;
            }
            s = es;
            t = et;
            continue;
        }
        if (isInterface(s)) {
            if (isInterface(t)) return hierarchyContains(s, t);
            if (isArray(t)) return 0;
            return depth(t) == 0 ? 1 : 0;
        }
        if (isInterface(t)) return interfaceTest(s, t);
        if (isArray(t)) return 0;
        std::uint8_t dt = depth(t);
        if (dt >= depth(s)) return 0;
        word_t hierarchy = image::class_hierarchy(T(s));
        return hierarchy != 0 && wordAt(hierarchy + 4u * dt) == t ? 1 : 0;
    }
    return 0;
}

}  // namespace tarvelo
