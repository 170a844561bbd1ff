// Natives of java.lang.Class and Object.getClass, and the creation of
// arrays by type: names, kinds, instances, class and resource lookups.
#include <cstdio>
#include <cstring>

#include "vm/core/engine/engine.h"
#include "vm/core/engine/application_token.h"
#include "vm/core/engine/execution_context.h"
#include "vm/core/engine/string_factory.h"
#include "vm/core/image/image_directory.h"
#include "vm/model/type_record.h"
#include "vm/model/type_tests.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/memory/object_model.h"
#include "vm/natives/class_lookup.h"
#include "vm/natives/native_support.h"

using namespace tarvelo;
using namespace tarvelo::natives;

namespace {

constexpr std::uint32_t kRecordName = 0;
constexpr std::uint32_t kRecordDimensions = 4;
constexpr std::uint32_t kRecordElement = 8;
constexpr std::uint32_t kRecordPackage = 8;  // of a class's record

std::uint32_t recordWord(word_t record, std::uint32_t offset) { return *to_ptr<const std::uint32_t>(record + offset); }

bool isArrayRecord(word_t record) {
    const word_t name = recordWord(record, kRecordName);
    return name != 0 && *to_ptr<const char>(name) == '[';
}

// A primitive type's record: a one-byte name holding its type code.
bool isPrimitiveRecord(word_t record) {
    return recordWord(record, 4) == 1 && *to_ptr<const std::uint8_t>(recordWord(record, kRecordName)) < 16;
}

// Writes the type's name into `out` (at least kApplicationTokenMax + 32
// chars when the type has no name record); returns its length, or -1 when
// the name cannot be read. With `out` null only the length is computed.
std::int32_t typeName(word_t type, char16_t* out) {
    const word_t record = image::type_name_record(typePtr(type));
    if (record == 0) {
        // An application's type is named by the application's token first.
        char text[kApplicationTokenMax + 32];
        const std::int32_t token = applicationToken(type, text, false);
        const int n = token + std::snprintf(text + token, sizeof text - static_cast<std::size_t>(token), "@C:0x%x@",
                                            static_cast<unsigned>(type));
        if (out != nullptr)
            for (int i = 0; i < n; ++i) out[i] = static_cast<char16_t>(text[i]);
        return n;
    }
    if (!isArrayRecord(record)) {
        const std::int32_t n = ClassNameResolver::dottedNameLength(record);
        if (n < 0) return -1;
        if (out != nullptr) ClassNameResolver::writeDottedName(record, out, n - 1);
        return n;
    }
    const std::uint32_t dims = recordWord(record, kRecordDimensions);
    const word_t element = recordWord(record, kRecordElement);
    if (dims == 0 || dims > 255 || element == 0) return -1;
    if (isPrimitiveRecord(element)) {
        if (out != nullptr) {
            for (std::uint32_t i = 0; i < dims; ++i) out[i] = u'[';
            out[dims] = static_cast<char16_t>(ClassNameResolver::typeCodeToLetter(
                *to_ptr<const std::uint8_t>(recordWord(element, kRecordName))));
        }
        return static_cast<std::int32_t>(dims) + 1;
    }
    const std::int32_t n = ClassNameResolver::dottedNameLength(element);
    if (n < 0) return -1;
    const std::int32_t total = static_cast<std::int32_t>(dims) + 1 + n + 1;
    if (out != nullptr) {
        for (std::uint32_t i = 0; i < dims; ++i) out[i] = u'[';
        out[dims] = u'L';
        ClassNameResolver::writeDottedName(element, out, static_cast<std::int32_t>(dims) + n);
        out[total - 1] = u';';
    }
    return total;
}

// A new String of `prefix` and the name of the type (reference argument 0,
// not null) as the result; null when the name cannot be read.
void returnTypeText(VMThread* t, const char* prefix) {
    const std::int32_t n = typeName(ref(t, 0), nullptr);
    if (n < 0) return returnObject(t, 0);
    const auto p = static_cast<std::int32_t>(std::strlen(prefix));
    const word_t s = StringFactory::newString(t, p + n);
    if (s == 0) return;  // OutOfMemoryError is pending
    char16_t* out = charData(java::string_value(s));
    for (std::int32_t i = 0; i < p; ++i) out[i] = static_cast<char16_t>(prefix[i]);
    // The allocation may have moved the type's Class object: read it again.
    typeName(ref(t, 0), out + p);
    returnObject(t, s);
}

// Whether the class of the method that called Class.newInstance may use
// the type's no-argument constructor: a public one from anywhere, a private
// one only from the class itself, otherwise only from a class of the same
// package (both with a class-name record).
bool callerMayInstantiate(VMThread* t, word_t type) {
    const std::uint8_t flags = typeFlags(type);
    if ((flags & image::kTypePublicCtor) != 0) return true;
    // Frame 0 is the native method itself.
    const FrameView caller = TulvarVMEngine::walkUpFrames(t, 1);
    const word_t callerClass =
        caller.frame != nullptr && caller.frame->method != 0 ? image::read_u32(to_ptr<const void>(caller.frame->method)) : 0;
    if ((flags & image::kTypePrivateCtor) != 0) return callerClass == type;
    if (callerClass == 0) return false;
    const word_t callerRecord = image::type_name_record(typePtr(callerClass));
    const word_t typeRecord = image::type_name_record(typePtr(type));
    return callerRecord != 0 && typeRecord != 0 && recordWord(callerRecord, kRecordPackage) == recordWord(typeRecord, kRecordPackage);
}

}  // namespace

extern "C" {

// static Class Object.getClass(Object o)
void VMNative_java_lang_Object_getClass(VMThread* t) {
    const word_t o = ref(t, 0);
    if (o == 0) return throwNull(t);
    returnObject(t, typeOf(o));
}

// static String Class.getName(Class c)
void VMNative_java_lang_Class_getName(VMThread* t) {
    if (ref(t, 0) == 0) return throwNull(t);
    returnTypeText(t, "");
}

// static String Class.toString(Class c): Java's text, "class " or
// "interface " and the name. (Every Class here is a type header: the
// primitive types have none, so none prints as a bare "int".)
void VMNative_java_lang_Class_toStringNative(VMThread* t) {
    const word_t type = ref(t, 0);
    if (type == 0) return throwNull(t);
    returnTypeText(t, (typeFlags(type) & image::kTypeInterface) != 0 ? "interface " : "class ");
}

void VMNative_java_lang_Class_isArray(VMThread* t) {
    const word_t type = ref(t, 0);
    if (type == 0) return throwNull(t);
    returnBool(t, (typeFlags(type) & image::kTypeArray) != 0);
}

void VMNative_java_lang_Class_isInterface(VMThread* t) {
    const word_t type = ref(t, 0);
    if (type == 0) return throwNull(t);
    returnBool(t, (typeFlags(type) & image::kTypeInterface) != 0);
}

// static Object Class.newInstance(Class c): a new object, its no-argument
// constructor then run on it.
void VMNative_java_lang_Class_newInstance(VMThread* t) {
    const word_t type = ref(t, 0);
    if (type == 0) return throwNull(t);
    if ((typeFlags(type) & 0x07) != 0 || image::class_default_ctor(typePtr(type)) == 0)
        return throwType(t, VMType::_java_Ljava_lang_InstantiationException);
    if (!callerMayInstantiate(t, type)) return throwType(t, VMType::_java_Ljava_lang_IllegalAccessException);
    const word_t ctor = image::class_default_ctor(typePtr(type));
    const word_t object = t->allocateObject(type);
    if (object == 0) return;  // OutOfMemoryError is pending
    returnObject(t, object);
    ExecutionContext::invokeWithArgs(t, ctor, object, nullptr, 0, nullptr, 0);
}

// static Class Class.getSuperclass(Class c)
void VMNative_java_lang_Class_getSuperclass(VMThread* t) {
    const word_t type = ref(t, 0);
    if (type == 0) return throwNull(t);
    const std::uint8_t flags = typeFlags(type);
    if ((flags & image::kTypeArray) != 0) return returnObject(t, types::object());
    if ((flags & image::kTypeInterface) != 0 || type == types::object()) return returnObject(t, 0);
    const std::uint8_t depth = image::type_depth(typePtr(type));
    const word_t hierarchy = image::class_hierarchy(typePtr(type));
    returnObject(t, depth == 0 || hierarchy == 0 ? 0 : to_ptr<const std::uint32_t>(hierarchy)[depth - 1]);
}

// static Class Class.forNameNative(String name)
void VMNative_java_lang_Class_forNameNative(VMThread* t) {
    const word_t name = ref(t, 0);
    if (name == 0) return throwNull(t);
    word_t type = 0;
    const int found = ClassLookup::classForNameAt(ClassLookup::contextOf(t), name, &type);
    if (found == 0) {
        ClassLookup::addClassNotFoundException(t);
        return;
    }
    returnObject(t, found == 1 ? type : 0);
}

// static InputStream Class.getResourceAsStreamNative(String name)
void VMNative_java_lang_Class_getResourceAsStreamNative(VMThread* t) {
    const word_t name = ref(t, 0);
    if (name == 0) return throwNull(t);
    returnObject(t, ClassLookup::openResourceStream(t, ClassLookup::contextOf(t), name));
}

// static boolean Class.isAssignableFrom(Class c, Class other)
void VMNative_java_lang_Class_isAssignableFrom(VMThread* t) {
    const word_t type = ref(t, 0);
    const word_t other = ref(t, 1);
    if (type == 0 || other == 0) return throwNull(t);
    returnBool(t, VMJProcessor::isAssignable(other, type) != 0);
}

// static boolean Class.isInstance(Class c, Object o)
void VMNative_java_lang_Class_isInstance(VMThread* t) {
    const word_t type = ref(t, 0);
    const word_t o = ref(t, 1);
    if (type == 0) return throwNull(t);
    returnBool(t, o != 0 && VMJProcessor::isAssignable(typeOf(o), type) != 0);
}

// static Object ArrayTools.createNewArrayFromType(Class type, int length),
// also Util.newArray. A negative length is refused before any size is
// computed from it.
void VMNative_com_olun_tools_ArrayTools_createNewArrayFromType(VMThread* t) {
    const word_t type = ref(t, 0);
    const std::int32_t length = prim(t, 5);
    if (type == 0) return throwNull(t);
    if (!typeIsArray(type)) return throwArrayStore(t);
    if (length < 0) return throwType(t, VMType::_java_Ljava_lang_NegativeArraySizeException);
    const std::int64_t bytes = static_cast<std::int64_t>(memory::element_size(arrayElement(type))) * length;
    const word_t array = t->allocateArray(type, bytes, length);
    if (array != 0) returnObject(t, array);
}

}  // extern "C"
