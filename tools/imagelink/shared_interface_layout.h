// What the image records of shared interfaces hold, for the kernel image
// and application files alike: the interface's 24-byte identifier, each
// method's 16-byte signature and the transfer kinds of its values.
//
// A shared interface's header (word 5) points to its descriptor: the type
// header of its proxy class (the class the linker generates beside every
// shared interface, see proxy_classes.h; `KernelNatives.bind` makes its
// proxies of it), then the identifier. Each interface method table of a class for a
// shared interface keeps, in its word 1, the byte offset from the table's
// start of an array of method descriptor addresses, one per method, just
// after the methods. A method descriptor: the result's declared type (0
// when it needs no transfer), the argument count n, the primitive argument
// words, n declared argument types, the signature, 8 zero bytes, the
// result's transfer kind and the n arguments' kinds.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tools/imagelink/model.h"

namespace tarvelo::imagelink {

inline constexpr std::uint32_t kSharedIdentifierBytes = 24;
inline constexpr std::uint32_t kSharedSignatureBytes = 16;

// From the interface's simple name: a kernel and an application declare
// the same shared interface each in a package of its own.
std::array<std::uint8_t, kSharedIdentifierBytes> shared_interface_identifier(const Type& i);

// From the method's name and its descriptor with every reference type
// written as "L" (the two sides name their own types).
std::array<std::uint8_t, kSharedSignatureBytes> shared_method_signature(const Method& m);

// Transfer kinds (low 3 bits of a kind byte; bits 3-7 of kind 2 name the
// argument holding the class).
enum SharedTransferKind : std::uint8_t {
    kTransferUnchanged = 0,   // passed as it is (primitives always)
    kTransferConvert = 1,     // always converted by the kernel
    kTransferConvertTo = 2,   // converted to the class passed in another argument
    kTransferForeign = 3,     // the kernel's objects pass, an application's are converted
};

// The kind bytes of a shared interface's method: the result's, then each
// argument's; primitives 0, references `foreign` unless the method's
// `.transfer` lines say otherwise (checked here: a reference parameter or
// the result, once each; convert_to names another reference parameter).
std::vector<std::uint8_t> shared_transfer_kinds(const Method& m);

// The name of the proxy class generated for shared interface `name`.
std::string proxy_class_name(const std::string& interface_name);

// Where the records of a shared interface are written: the builder's
// position, its byte and word writers, how it writes a declared type (a
// reference to the type header; 0 only for primitives and void) and the
// word naming the interface's proxy class.
struct SharedRecordSink {
    std::function<std::uint32_t()> pos;
    std::function<void(std::uint32_t)> u8;
    std::function<void(std::uint32_t)> u32;
    std::function<void(const JavaType&, const Method&)> declared;
    std::function<void(const Type&)> proxy_class;
};

// Writes the descriptor of shared interface `i` and its methods'
// descriptors (each 4-aligned); answers the descriptor's position and adds
// each method's to `methods`.
std::uint32_t write_shared_records(const Type& i, const SharedRecordSink& out,
                                   std::map<const Method*, std::uint32_t>& methods);

}  // namespace tarvelo::imagelink
