// What the virtual machine takes from the image by name: the types it
// creates or tests itself, and the members of the runtime prelude it calls
// (the class-initialiser and call wrappers, the uncaught-exception paths,
// the main thread's argument static).
#pragma once

#include <cstdint>

#include "platform/address.h"

namespace tarvelo {

enum class VMType : std::uint8_t {
#define TARVELO_VM_TYPE(symbol, java_name) symbol,
#include "vm/core/image/vm_named_types.def"
#undef TARVELO_VM_TYPE
    count
};

enum class PreludeMember : std::uint8_t {
#define TARVELO_PRELUDE_MEMBER(symbol, member) symbol,
#include "vm/core/image/runtime_prelude.def"
#undef TARVELO_PRELUDE_MEMBER
    count
};

// The type header of a named type; 0 when the image lacks it.
word_t vm_type(VMType t);
// The address of a prelude member; 0 when the image lacks it.
word_t prelude_member(PreludeMember m);
const char* vm_type_name(VMType t);

// Whether the image carries everything the virtual machine needs to run
// Java code: every named type and the wrappers.
bool runtime_prelude_complete();

// Short names for the types the interpreter raises most.
namespace types {
inline word_t object() { return vm_type(VMType::_java_Ljava_lang_Object); }
inline word_t string() { return vm_type(VMType::_java_Ljava_lang_String); }
inline word_t int_array() { return vm_type(VMType::_java_AI); }
inline word_t char_array() { return vm_type(VMType::_java_AC); }
inline word_t arithmetic() { return vm_type(VMType::_java_Ljava_lang_ArithmeticException); }
inline word_t null_pointer() { return vm_type(VMType::_java_Ljava_lang_NullPointerException); }
inline word_t array_index() { return vm_type(VMType::_java_Ljava_lang_ArrayIndexOutOfBoundsException); }
inline word_t index_out_of_bounds() { return vm_type(VMType::_java_Ljava_lang_IndexOutOfBoundsException); }
inline word_t array_store() { return vm_type(VMType::_java_Ljava_lang_ArrayStoreException); }
inline word_t class_cast() { return vm_type(VMType::_java_Ljava_lang_ClassCastException); }
inline word_t negative_array_size() { return vm_type(VMType::_java_Ljava_lang_NegativeArraySizeException); }
inline word_t illegal_argument() { return vm_type(VMType::_java_Ljava_lang_IllegalArgumentException); }
inline word_t illegal_access_error() { return vm_type(VMType::_java_Ljava_lang_IllegalAccessError); }
inline word_t internal_limits() { return vm_type(VMType::_java_Lcom_olun_vm_support_InternalLimitsError); }
inline word_t stack_overflow() { return vm_type(VMType::_java_Ljava_lang_StackOverflowError); }
inline word_t native_exception() { return vm_type(VMType::_java_Lyq_sni_NativeException); }
inline word_t native_io_exception() { return vm_type(VMType::_java_Lyq_sni_NativeIOException); }
inline word_t dead_feature() { return vm_type(VMType::_java_Lyq_kf_DeadFeatureException); }
inline word_t main_thread() { return vm_type(VMType::_java_Ljava_lang_MainThread); }
inline word_t string_array() { return vm_type(VMType::_java_ALjava_lang_String); }
}  // namespace types

}  // namespace tarvelo
