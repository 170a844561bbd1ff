#include "vm/core/engine/runtime_prelude.h"

#include "vm/core/threads/vm_thread.h"

// Weak, so that an image without Java code (the start-up tests' minimal
// image) still links; `runtime_prelude_complete` tells whether any is
// missing.
extern "C" {
#define TARVELO_VM_TYPE(symbol, java_name) __attribute__((weak)) extern const char symbol[];
#include "vm/core/image/vm_named_types.def"
#undef TARVELO_VM_TYPE
#define TARVELO_PRELUDE_MEMBER(symbol, member) __attribute__((weak)) extern const char symbol[];
#include "vm/core/image/runtime_prelude.def"
#undef TARVELO_PRELUDE_MEMBER
}

// The natives of the prelude's own methods (prelude_natives.cpp). An image
// may refer to them weakly, which would not bring them into a link: they
// are named here, in a table kept even where the compiler proves every
// address non-null, so that every firmware has them.
extern "C" {
void VMNative_java_lang_Thread_execClinit(tarvelo::VMThread*);
void VMNative_java_lang_Thread_storeException(tarvelo::VMThread*);
void VMNative_java_lang_Throwable_internalError(tarvelo::VMThread*);
void VMNative_java_lang_Throwable_fillInStackTrace(tarvelo::VMThread*);
void VMNative_java_lang_Object_cloneNative(tarvelo::VMThread*);
void VMNative_java_lang_System_hashCode(tarvelo::VMThread*);
}

namespace tarvelo {

namespace {

using PreludeNative = void(VMThread*);
__attribute__((used)) PreludeNative* const prelude_natives[] = {
    VMNative_java_lang_Thread_execClinit,        VMNative_java_lang_Thread_storeException,
    VMNative_java_lang_Throwable_internalError,  VMNative_java_lang_Throwable_fillInStackTrace,
    VMNative_java_lang_Object_cloneNative,       VMNative_java_lang_System_hashCode,
};

const char* const type_addresses[] = {
#define TARVELO_VM_TYPE(symbol, java_name) symbol,
#include "vm/core/image/vm_named_types.def"
#undef TARVELO_VM_TYPE
};

const char* const type_names[] = {
#define TARVELO_VM_TYPE(symbol, java_name) java_name,
#include "vm/core/image/vm_named_types.def"
#undef TARVELO_VM_TYPE
};

const char* const member_addresses[] = {
#define TARVELO_PRELUDE_MEMBER(symbol, member) symbol,
#include "vm/core/image/runtime_prelude.def"
#undef TARVELO_PRELUDE_MEMBER
};

}  // namespace

word_t vm_type(VMType t) { return to_word(type_addresses[static_cast<unsigned>(t)]); }

word_t prelude_member(PreludeMember m) { return to_word(member_addresses[static_cast<unsigned>(m)]); }

const char* vm_type_name(VMType t) { return type_names[static_cast<unsigned>(t)]; }

bool runtime_prelude_complete() {
    for (const char* a : type_addresses)
        if (a == nullptr) return false;
    for (PreludeNative* n : prelude_natives)
        if (n == nullptr) return false;
    return prelude_member(PreludeMember::_java_Mjava_lang_Thread__clinitWrapper) != 0 &&
           prelude_member(PreludeMember::_java_Mjava_lang_Thread__callWrapper) != 0 &&
           prelude_member(PreludeMember::_java_Mjava_lang_Thread__runWrapper) != 0 &&
           prelude_member(PreludeMember::_java_Sjava_lang_MainThread__Args) != 0;
}

}  // namespace tarvelo
