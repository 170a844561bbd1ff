// Method records. The method address points at the class word; exception
// handler entries lie in the 16-byte blocks just below it (the one nearest
// the class word tried first), the method header at +4 and the register
// bytecode after the header. Method records are 4-byte aligned, so code
// behind a full (6-byte) header starts at an even address and code behind a
// compact (1-byte) header at an odd one.
//
// Primitive window: registers 0-4 are the frame record, 5 .. frameWords-1
// the method's own words with its arguments at the top (first argument
// highest) and its primitive result in the top one or two; negative
// registers are locals and the outgoing area. Reference window: the kept
// reference arguments from -base upward, the method's other registers
// below the base up to -1, and registers 0 upward above the base.
#pragma once

#include <cstdint>

#include "vm/model/image_format.h"

namespace tarvelo::image {

inline constexpr std::uint32_t kMethodClassOffset = 0;
inline constexpr std::uint32_t kMethodHeaderOffset = 4;
inline constexpr std::uint32_t kCompactCodeOffset = 5;
inline constexpr std::uint32_t kFullCodeOffset = 10;
inline constexpr std::uint32_t kFrameRecordWords = 5;

// Header byte 0 (both forms).
inline constexpr std::uint8_t kHeaderCompactBit = 0x80;
inline constexpr std::uint8_t kHeaderReturnsRefBit = 0x40;

// Compact header byte: bit 7 set; bit 6 returns a reference; bit 5 one more
// reference register below the base; bits 2-4 primitive words; bits 0-1
// kept reference arguments.
inline constexpr std::uint8_t kCompactExtraRefBit = 0x20;
inline constexpr unsigned kCompactPrimShift = 2;
inline constexpr std::uint8_t kCompactPrimMask = 0x1C;
inline constexpr std::uint8_t kCompactRefArgsMask = 0x03;
inline constexpr std::uint32_t kCompactMaxPrimWords = 7;
inline constexpr std::uint32_t kCompactMaxRefArgs = 3;

// Full header, bytes +4 .. +9.
inline constexpr std::uint8_t kFullHandlerCountMask = 0x3F;   // byte +4 bits 0-5
inline constexpr std::uint8_t kFullKeepContextBit = 0x80;     // byte +5 bit 7
inline constexpr std::uint8_t kFullRefArgsMask = 0x7F;        // byte +5 bits 0-6
inline constexpr std::uint32_t kFullMaxHandlers = 63;
inline constexpr std::uint32_t kFullMaxRefArgs = 127;

// Everything a header says, whichever form it is stored in.
struct MethodHeader {
    bool compact = false;
    bool returns_ref = false;
    bool keep_context = false;       // full form only
    std::uint8_t handler_count = 0;  // full form only
    std::uint8_t ref_args = 0;       // reference argument words passed (kept)
    std::uint8_t ref_base = 0;       // reference registers below the base (args included)
    std::uint8_t frame_words = 0;    // 5 + primitive words; first-argument slot
    std::uint8_t refs_above = 0;     // reference registers at and above the base
    std::uint8_t prim_below = 0;     // primitive registers below the frame record

    std::uint32_t code_offset() const { return compact ? kCompactCodeOffset : kFullCodeOffset; }
    std::uint32_t prim_words() const { return frame_words - kFrameRecordWords; }
    // Bytes of an activation's reference registers and of its primitive
    // registers with the frame record.
    std::uint32_t ref_bytes() const { return 4u * (static_cast<std::uint32_t>(ref_base) + refs_above); }
    std::uint32_t prim_bytes() const { return 4u * (static_cast<std::uint32_t>(frame_words) + prim_below); }
};

// The header bytes of the method record whose class word is at `method`.
inline const std::uint8_t* method_header_bytes(const void* method) {
    return static_cast<const std::uint8_t*>(method) + kMethodHeaderOffset;
}

inline bool is_compact_header(const std::uint8_t* header) { return (header[0] & kHeaderCompactBit) != 0; }

// The counts of a header of each form, read from its bytes at `header`
// (byte 0 first). The decoder below is built from them; the dispatch
// loop's inline call, which branches on the form once, reads just the
// counts it needs from them, in straight-line code for each form.
template <bool kCompact>
struct HeaderForm;

template <>
struct HeaderForm<true> {
    static constexpr std::uint32_t kCodeOffset = kCompactCodeOffset;
    static std::uint32_t ref_args(const std::uint8_t* header) { return header[0] & kCompactRefArgsMask; }
    static std::uint32_t ref_base(const std::uint8_t* header) {
        return ref_args(header) + ((header[0] & kCompactExtraRefBit) != 0 ? 1u : 0u);
    }
    static std::uint32_t frame_words(const std::uint8_t* header) {
        return ((header[0] & kCompactPrimMask) >> kCompactPrimShift) + kFrameRecordWords;
    }
    static std::uint32_t refs_above(const std::uint8_t*) { return 0; }
    static std::uint32_t prim_below(const std::uint8_t*) { return 0; }
    static bool keep_context(const std::uint8_t*) { return false; }
    static std::uint32_t handler_count(const std::uint8_t*) { return 0; }
};

template <>
struct HeaderForm<false> {
    static constexpr std::uint32_t kCodeOffset = kFullCodeOffset;
    static std::uint32_t ref_args(const std::uint8_t* header) { return header[1] & kFullRefArgsMask; }
    static std::uint32_t ref_base(const std::uint8_t* header) { return header[2]; }
    static std::uint32_t frame_words(const std::uint8_t* header) { return header[3]; }
    static std::uint32_t refs_above(const std::uint8_t* header) { return header[4]; }
    static std::uint32_t prim_below(const std::uint8_t* header) { return header[5]; }
    static bool keep_context(const std::uint8_t* header) { return (header[1] & kFullKeepContextBit) != 0; }
    static std::uint32_t handler_count(const std::uint8_t* header) { return header[0] & kFullHandlerCountMask; }
};

inline bool header_returns_ref(const std::uint8_t* header) { return (header[0] & kHeaderReturnsRefBit) != 0; }

// Decodes the header at `header`, which has the form `kCompact`.
template <bool kCompact>
inline MethodHeader decode_method_header_as(const std::uint8_t* header) {
    using Form = HeaderForm<kCompact>;
    MethodHeader h;
    h.compact = kCompact;
    h.returns_ref = header_returns_ref(header);
    h.keep_context = Form::keep_context(header);
    h.handler_count = static_cast<std::uint8_t>(Form::handler_count(header));
    h.ref_args = static_cast<std::uint8_t>(Form::ref_args(header));
    h.ref_base = static_cast<std::uint8_t>(Form::ref_base(header));
    h.frame_words = static_cast<std::uint8_t>(Form::frame_words(header));
    h.refs_above = static_cast<std::uint8_t>(Form::refs_above(header));
    h.prim_below = static_cast<std::uint8_t>(Form::prim_below(header));
    return h;
}

// Decodes the header of the method record whose class word is at `method`.
inline MethodHeader decode_method_header(const void* method) {
    const std::uint8_t* header = method_header_bytes(method);
    return is_compact_header(header) ? decode_method_header_as<true>(header) : decode_method_header_as<false>(header);
}

// Whether the counts of `h` make a frame the interpreter can enter: the
// frame record within the frame words (a call places it at the top of the
// frame and the return reads it back from there), the kept reference
// arguments inside the registers below the base, and a register at the
// base below it for a reference result.
inline bool method_header_sound(const MethodHeader& h) {
    return h.frame_words >= kFrameRecordWords && h.ref_base >= h.ref_args && (!h.returns_ref || h.ref_base != 0);
}

// Whether `h` can be stored as a one-byte header: no handlers, no reference
// registers above the base, nothing below the frame record, at most one
// extra reference register below the base, at most 3 kept reference
// arguments and 7 primitive words, and no kept context.
inline bool fits_compact_header(const MethodHeader& h) {
    return h.handler_count == 0 && !h.keep_context && h.refs_above == 0 && h.prim_below == 0 &&
           h.ref_args <= kCompactMaxRefArgs && h.ref_base >= h.ref_args && h.ref_base - h.ref_args <= 1 &&
           h.frame_words >= kFrameRecordWords && h.prim_words() <= kCompactMaxPrimWords;
}

inline std::uint8_t encode_compact_header(const MethodHeader& h) {
    std::uint8_t b = kHeaderCompactBit;
    if (h.returns_ref) b |= kHeaderReturnsRefBit;
    if (h.ref_base > h.ref_args) b |= kCompactExtraRefBit;
    b |= static_cast<std::uint8_t>(h.prim_words() << kCompactPrimShift);
    b |= static_cast<std::uint8_t>(h.ref_args & kCompactRefArgsMask);
    return b;
}

// Writes the six bytes of a full header to `out`.
inline void encode_full_header(const MethodHeader& h, std::uint8_t out[6]) {
    out[0] = static_cast<std::uint8_t>((h.returns_ref ? kHeaderReturnsRefBit : 0) | (h.handler_count & kFullHandlerCountMask));
    out[1] = static_cast<std::uint8_t>((h.keep_context ? kFullKeepContextBit : 0) | (h.ref_args & kFullRefArgsMask));
    out[2] = h.ref_base;
    out[3] = h.frame_words;
    out[4] = h.refs_above;
    out[5] = h.prim_below;
}

// Reference base offset ("argument slots") read from either form.
inline std::uint32_t method_ref_base(const void* method) { return decode_method_header(method).ref_base; }

// --- Exception-handler entry (16 bytes, below the class word) -------------
// An entry matches when start < pc <= end (pc points after the faulting
// instruction) and the catch type is 0 or the exception is assignable to it.
inline constexpr std::uint32_t kHandlerEntrySize = 16;
inline constexpr std::uint32_t kHandlerCatchTypeOffset = 0;  // type header or 0 (any)
inline constexpr std::uint32_t kHandlerStartOffset = 4;      // bytecode addresses
inline constexpr std::uint32_t kHandlerEndOffset = 8;
inline constexpr std::uint32_t kHandlerPcOffset = 12;

struct HandlerEntry {
    std::uint32_t catch_type;
    std::uint32_t start_pc;
    std::uint32_t end_pc;
    std::uint32_t handler_pc;
};

// Handler i of the method at `method` (i = 0 is tried first).
inline HandlerEntry handler_entry(const void* method, std::uint32_t i) {
    const auto* e = static_cast<const std::uint8_t*>(method) - kHandlerEntrySize * (i + 1);
    return {read_u32(e + kHandlerCatchTypeOffset), read_u32(e + kHandlerStartOffset),
            read_u32(e + kHandlerEndOffset), read_u32(e + kHandlerPcOffset)};
}

}  // namespace tarvelo::image
