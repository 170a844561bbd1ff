// The proxy class of every shared interface: a class named
// "<interface>$Proxy" in the same module, extending yq.kf.Proxy and
// implementing the interface, each method (the interface's and its
// super-interfaces') running the proxy instruction on a state word in p5
// and the element positions of the arrays it copies in the registers
// above it (`.temps` 1 + the deepest array's levels + the result's words,
// so that neither overlaps the arguments read after them nor the result).
// `KernelNatives.bind` finds the class through the interface's
// descriptor and makes its proxies of it.
#pragma once

#include "tools/imagelink/model.h"

namespace tarvelo::imagelink {

// Adds the proxy class of each shared interface of `program` (after the
// last type), once parsing is complete. A type already named as a proxy
// class is an error.
void add_proxy_classes(Program& program);

// Registers the proxy instruction of a shared method uses above p5 for
// array element positions: the array dimensions of its deepest reference
// value whose elements are references (primitive arrays are copied whole).
int proxy_position_registers(const Method& m);

}  // namespace tarvelo::imagelink
