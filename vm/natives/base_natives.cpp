// Natives of the base library yq.zum: time, byte arrays and the link-time
// constants.
#include <cstring>

#include "vm/core/port/os_port.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/natives/native_support.h"

using namespace tarvelo;
using namespace tarvelo::natives;

namespace {

// (byte[] bytes, ..., int offset, int length): length in 5, offset in 6.
bool checkedRange(VMThread* t, word_t bytes, std::int32_t offset, std::int32_t length) {
    if (bytes == 0) {
        throwNull(t);
        return false;
    }
    if (!rangeInside(offset, length, java::array_length(bytes))) {
        throwArrayIndex(t);
        return false;
    }
    return true;
}

}  // namespace

extern "C" {

// static long CurrentTime.get(boolean system): system or application time in ms.
void VMNative_yq_zum_CurrentTime_get(VMThread* t) {
    returnLong(t, LLOSTV_IMPL_getCurrentTime__Z(static_cast<std::uint8_t>(prim(t, 5) != 0 ? 1 : 0)));
}

void VMNative_yq_zum_CurrentTime_getNanos(VMThread* t) { returnLong(t, LLOSTV_IMPL_getTimeNanos()); }

// static void CurrentTime.set(long time): the application time.
void VMNative_yq_zum_CurrentTime_set(VMThread* t) { LLOSTV_IMPL_setApplicationTime__J(prim64(t, 5)); }

// static boolean ByteArray.isBigEndian(): the platform is little-endian.
void VMNative_yq_zum_ByteArray_isBigEndian(VMThread* t) { returnBool(t, false); }

// static void ByteArray.clear(byte[] bytes, int offset, int length)
void VMNative_yq_zum_ByteArray_clear(VMThread* t) {
    const word_t bytes = ref(t, 0);
    const std::int32_t length = prim(t, 5);
    const std::int32_t offset = prim(t, 6);
    if (checkedRange(t, bytes, offset, length))
        std::memset(java::array_data<std::uint8_t>(bytes) + offset, 0, static_cast<std::size_t>(length));
}

// static void ByteArray.set(byte[] bytes, int value, int offset, int length)
void VMNative_yq_zum_ByteArray_set(VMThread* t) {
    const word_t bytes = ref(t, 0);
    const std::int32_t length = prim(t, 5);
    const std::int32_t offset = prim(t, 6);
    const std::int32_t value = prim(t, 7);
    if (checkedRange(t, bytes, offset, length))
        std::memset(java::array_data<std::uint8_t>(bytes) + offset, value & 0xFF, static_cast<std::size_t>(length));
}

// Constants.getBoolean ... getClass: the image linker puts each constant's
// value in place of every call, so a linked image never reaches these. One
// that is reached anyway (code not made by the linker) gets no value it
// could mistake for the constant.
#define TARVELO_CONSTANT_NATIVE(kind) \
    void VMNative_yq_zum_Constants_get##kind(VMThread* t) { throwType(t, VMType::_java_Ljava_lang_IllegalStateException); }
TARVELO_CONSTANT_NATIVE(Boolean)
TARVELO_CONSTANT_NATIVE(Byte)
TARVELO_CONSTANT_NATIVE(Char)
TARVELO_CONSTANT_NATIVE(Short)
TARVELO_CONSTANT_NATIVE(Int)
TARVELO_CONSTANT_NATIVE(Long)
TARVELO_CONSTANT_NATIVE(Float)
TARVELO_CONSTANT_NATIVE(Double)
TARVELO_CONSTANT_NATIVE(String)
TARVELO_CONSTANT_NATIVE(Class)
#undef TARVELO_CONSTANT_NATIVE

}  // extern "C"
