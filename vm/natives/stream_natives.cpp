// Natives of the streams over resources: MemoryInputStream (a resource of
// the image read in place) and the base library's ResourceBuffer (bytes,
// variable-length numbers and strings of a resource).
#include <cstring>

#include "vm/core/engine/string_factory.h"
#include "vm/core/image/runtime_layout.h"
#include "vm/core/threads/vm_thread.h"
#include "vm/natives/class_lookup.h"
#include "vm/natives/external_resources.h"
#include "vm/natives/native_support.h"

using namespace tarvelo;
using namespace tarvelo::natives;
namespace layout = tarvelo::image::layout;

namespace {

void throwStreamClosed(VMThread* t) { throwType(t, VMType::_java_Ljava_io_IOException, "Stream closed"); }

}  // namespace

extern "C" {

// static int MemoryInputStream.read(MemoryInputStream s)
void VMNative_com_olun_vm_support_io_MemoryInputStream_read(VMThread* t) {
    const word_t s = ref(t, 0);
    if (s == 0) return throwNull(t);
    const std::uint32_t start = java::field(s, layout::kMemoryInputStreamStart);
    const std::uint32_t end = java::field(s, layout::kMemoryInputStreamEnd);
    std::uint32_t& position = java::field(s, layout::kMemoryInputStreamPosition);
    if (end < start) return throwStreamClosed(t);
    if (position >= end) return returnInt(t, -1);
    returnInt(t, *to_ptr<const std::uint8_t>(position++));
}

// static int MemoryInputStream.readArray(MemoryInputStream s, byte[] b, int off, int len)
void VMNative_com_olun_vm_support_io_MemoryInputStream_readArray(VMThread* t) {
    const word_t s = ref(t, 0);
    const word_t b = ref(t, 1);
    const std::int32_t len = prim(t, 5);
    const std::int32_t off = prim(t, 6);
    if (s == 0 || b == 0) return throwNull(t);
    if (!rangeInside(off, len, java::array_length(b))) return throwIndex(t);
    const std::uint32_t start = java::field(s, layout::kMemoryInputStreamStart);
    const std::uint32_t end = java::field(s, layout::kMemoryInputStreamEnd);
    std::uint32_t& position = java::field(s, layout::kMemoryInputStreamPosition);
    if (end < start) return throwStreamClosed(t);
    if (position >= end) return returnInt(t, -1);
    std::uint32_t n = end - position;
    if (n > static_cast<std::uint32_t>(len)) n = static_cast<std::uint32_t>(len);
    std::memcpy(java::array_data<std::uint8_t>(b) + off, to_ptr<const void>(position), n);
    position += n;
    returnInt(t, static_cast<std::int32_t>(n));
}

}  // extern "C"

// --- ResourceBuffer -----------------------------------------------------------------------------

namespace {

constexpr std::int32_t kReadCount = 8;
constexpr std::int32_t kReadBuffer = 12;
constexpr std::int32_t kHandle = 16;
constexpr std::int32_t kPosition = 20;
constexpr std::int32_t kStart = 24;
constexpr std::int32_t kEnd = 28;

bool isClosed(word_t b) {
    const std::int32_t end = static_cast<std::int32_t>(java::field(b, kEnd));
    return java::field(b, kHandle) != 0 ? end == -1 : java::field(b, kEnd) == java::field(b, kStart) - 1u;
}

std::int64_t remaining(word_t b) {
    return static_cast<std::int64_t>(static_cast<std::int32_t>(java::field(b, kEnd) - java::field(b, kPosition)));
}

// Reads n (1 to 4) bytes into `out`: false after EOFException (the
// position at the end) or IOException "Stream closed".
bool readBytes(VMThread* t, word_t b, std::int32_t n, std::uint8_t* out) {
    if (remaining(b) < n) {
        if (isClosed(b)) {
            throwStreamClosed(t);
        } else {
            java::field(b, kPosition) = java::field(b, kEnd);
            throwType(t, VMType::_java_Ljava_io_EOFException);
        }
        return false;
    }
    const std::uint32_t position = java::field(b, kPosition);
    const std::int32_t handle = static_cast<std::int32_t>(java::field(b, kHandle));
    if (handle == 0) {
        std::memcpy(out, to_ptr<const void>(position), static_cast<std::size_t>(n));
    } else {
        java::field(b, kReadCount) = static_cast<std::uint32_t>(n);
        auto* buffer = to_ptr<std::uint8_t>(b + kReadBuffer);
        LLEXT_RES_seek(handle, position);
        std::int32_t count = n;
        LLEXT_RES_read(handle, buffer, &count);
        std::memcpy(out, buffer, static_cast<std::size_t>(n));
    }
    java::field(b, kPosition) = position + static_cast<std::uint32_t>(n);
    return true;
}

bool readByte(VMThread* t, word_t b, std::uint8_t* out) { return readBytes(t, b, 1, out); }

// A variable-length number: 7 bits per byte, most significant group first,
// bit 0 set when another byte follows.
template <typename T>
bool readVar(VMThread* t, word_t b, bool isSigned, T* out) {
    std::uint8_t byte;
    if (!readByte(t, b, &byte)) return false;
    T value = isSigned ? static_cast<T>(static_cast<std::int8_t>(byte) >> 1) : static_cast<T>(byte >> 1);
    while ((byte & 1) != 0) {
        if (!readByte(t, b, &byte)) return false;
        value = static_cast<T>((static_cast<std::make_unsigned_t<T>>(value) << 7) | (byte >> 1));
    }
    *out = value;
    return true;
}

// One modified-UTF-8 char, or -1 after EOFException.
std::int32_t readUtf8Char(VMThread* t, word_t b) {
    std::uint8_t c0;
    if (!readByte(t, b, &c0)) return -1;
    if (c0 >= 0xF0) return 0xFFFD;
    if (c0 < 0x80) return c0;
    if (c0 >= 0xE0) {
        std::uint8_t c[2];
        if (!readBytes(t, b, 2, c)) return -1;
        if ((c[0] & 0xC0) != 0x80 || (c[1] & 0xC0) != 0x80) return 0xFFFD;
        return (c0 & 0x0F) << 12 | (c[0] & 0x3F) << 6 | (c[1] & 0x3F);
    }
    if (c0 >= 0xC0) {
        std::uint8_t c;
        if (!readByte(t, b, &c)) return -1;
        return (c0 & 0x1F) << 6 | (c & 0x3F);
    }
    return 0xFFFD;
}

}  // namespace

extern "C" {

void VMNative_yq_zum_ResourceBuffer_readVarSInt(VMThread* t) {
    std::int32_t v;
    if (readVar(t, ref(t, 0), true, &v)) returnInt(t, v);
}

void VMNative_yq_zum_ResourceBuffer_readVarUInt(VMThread* t) {
    std::int32_t v;
    if (readVar(t, ref(t, 0), false, &v)) returnInt(t, v);
}

void VMNative_yq_zum_ResourceBuffer_readVarLong(VMThread* t) {
    std::int64_t v;
    if (readVar(t, ref(t, 0), true, &v)) returnLong(t, v);
}

void VMNative_yq_zum_ResourceBuffer_readUnsignedByte(VMThread* t) {
    std::uint8_t v;
    if (readByte(t, ref(t, 0), &v)) returnInt(t, v);
}

void VMNative_yq_zum_ResourceBuffer_readSignedByte(VMThread* t) {
    std::uint8_t v;
    if (readByte(t, ref(t, 0), &v)) returnInt(t, static_cast<std::int8_t>(v));
}

void VMNative_yq_zum_ResourceBuffer_platformReadUInt16(VMThread* t) {
    std::uint8_t v[2];
    if (readBytes(t, ref(t, 0), 2, v)) returnInt(t, v[0] | v[1] << 8);
}

void VMNative_yq_zum_ResourceBuffer_platformReadInt16(VMThread* t) {
    std::uint8_t v[2];
    if (readBytes(t, ref(t, 0), 2, v)) returnInt(t, static_cast<std::int16_t>(v[0] | v[1] << 8));
}

void VMNative_yq_zum_ResourceBuffer_platformReadInt32(VMThread* t) {
    std::uint8_t v[4];
    if (readBytes(t, ref(t, 0), 4, v))
        returnInt(t, static_cast<std::int32_t>(v[0] | v[1] << 8 | v[2] << 16 | static_cast<std::uint32_t>(v[3]) << 24));
}

// String ResourceBuffer.readString(): a header byte (length in bits 5-0,
// a second length byte when bit 6 is set), then the chars: modified UTF-8
// when bit 7 is set, else one byte each.
void VMNative_yq_zum_ResourceBuffer_readString(VMThread* t) {
    std::uint8_t b0;
    if (!readByte(t, ref(t, 0), &b0)) return;
    std::int32_t length = b0 & 0x3F;
    if ((b0 & 0x40) != 0) {
        std::uint8_t b1;
        if (!readByte(t, ref(t, 0), &b1)) return;
        length = length * 256 + b1;
    }
    const bool utf8 = (b0 & 0x80) != 0;
    if (!utf8 && remaining(ref(t, 0)) < length) {
        const word_t b = ref(t, 0);
        java::field(b, kPosition) = java::field(b, kEnd);
        return throwType(t, isClosed(b) ? VMType::_java_Ljava_io_IOException : VMType::_java_Ljava_io_EOFException);
    }
    const word_t s = StringFactory::newString(t, length);
    if (s == 0) return;  // OutOfMemoryError is pending
    // The allocation may have moved the buffer: read it again.
    const word_t b = ref(t, 0);
    char16_t* chars = charData(java::string_value(s));
    for (std::int32_t i = 0; i < length; ++i) {
        if (utf8) {
            const std::int32_t c = readUtf8Char(t, b);
            if (c < 0) return;
            chars[i] = static_cast<char16_t>(c);
        } else {
            std::uint8_t c;
            if (!readByte(t, b, &c)) return;
            chars[i] = c;
        }
    }
    returnObject(t, s);
}

// boolean ResourceBuffer.open(byte[] name, int length): a resource of the
// image (the name starts with '/'), else an external one.
void VMNative_yq_zum_ResourceBuffer_open(VMThread* t) {
    const word_t b = ref(t, 0);
    const word_t name = ref(t, 1);
    const std::int32_t length = prim(t, 5);
    if (name == 0) return throwNull(t);
    if (!rangeInside(0, length, java::array_length(name))) return throwIndex(t);
    const auto* bytes = java::array_data<const char>(name);
    // The name is copied so that the lookup can use the scratch buffer.
    char copy[256];
    if (length < 1 || length >= static_cast<std::int32_t>(sizeof copy)) return returnBool(t, false);
    std::memcpy(copy, bytes, static_cast<std::size_t>(length));
    copy[length] = '\0';
    word_t data = 0;
    std::uint32_t size = 0;
    if (ClassLookup::openResource(t, copy, length, &data, &size) == 0) {
        java::field(b, kHandle) = 0;
        java::field(b, kStart) = data;
        java::field(b, kPosition) = data;
        java::field(b, kEnd) = data + size;
        return returnBool(t, true);
    }
    const std::int32_t handle = LLEXT_RES_open(copy[0] == '/' ? copy + 1 : copy);
    if (handle == 0 || handle == -1) return returnBool(t, false);
    const std::int32_t base = LLEXT_RES_getBaseAddress(handle);
    const std::int32_t available = LLEXT_RES_available(handle);
    if (base != 0 && base != -1) {
        java::field(b, kHandle) = 0;
        java::field(b, kStart) = static_cast<std::uint32_t>(base);
        java::field(b, kPosition) = static_cast<std::uint32_t>(base);
        java::field(b, kEnd) = static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(available);
        LLEXT_RES_close(handle);
    } else {
        java::field(b, kHandle) = static_cast<std::uint32_t>(handle);
        java::field(b, kStart) = 0;
        java::field(b, kPosition) = 0;
        java::field(b, kEnd) = static_cast<std::uint32_t>(available);
        LLEXT_RES_seek(handle, 0);
    }
    returnBool(t, true);
}

// void ResourceBuffer.close(): closing twice does nothing.
void VMNative_yq_zum_ResourceBuffer_close(VMThread* t) {
    const word_t b = ref(t, 0);
    if (isClosed(b)) return;
    const std::int32_t handle = static_cast<std::int32_t>(java::field(b, kHandle));
    if (handle == 0) {
        java::field(b, kEnd) = java::field(b, kStart) - 1u;
    } else {
        LLEXT_RES_close(handle);
        java::field(b, kEnd) = static_cast<std::uint32_t>(-1);
    }
}

}  // extern "C"
