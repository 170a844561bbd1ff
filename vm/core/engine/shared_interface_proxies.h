// Calls between installed applications through shared-interface proxies:
// an instance of a `yq.kf.Proxy` subclass implements a shared interface in
// its holder's world and keeps the real target in its target field (the
// word below its header); each method of it executes OPinvoke_proxy, a
// resumable step that calls the equivalent method of the target.
//
// Image records (written by the image linker): a shared interface's
// header word 5 points to its descriptor (its proxy class, then its
// 24-byte identifier); an interface method table of a class for a shared
// interface holds in word 1 the byte offset, from the table, of an array
// of method descriptor addresses parallel to its methods. A method
// descriptor: the result's declared type, the argument count n, the
// primitive argument words, n declared types, a 16-byte signature, 8
// bytes, then the result's transfer kind and the n arguments' kinds.
#pragma once

#include <cstdint>

#include "platform/address.h"

namespace tarvelo {

struct VMThread;

struct SharedInterfaceProxies {
    // The body of OPinvoke_proxy at `opcode`: the next bytecode address
    // when the call is complete, or 0 when the thread must run something
    // first (the target was invoked, or an exception is pending) and the
    // opcode executes again. The state lives in the proxy method's
    // primitive register 5 (0 when the instruction first executes).
    static word_t invokeProxy(VMThread* t, word_t opcode);

    static bool isSharedInterface(word_t type);
    // Both shared interfaces, with equal identifiers.
    static bool areEquivalentSharedInterfaces(word_t a, word_t b);
    // The shared interface through which `type` is seen as `shared`: the
    // type itself when shared; else the deepest shared interface it
    // implements (a class) or extends (an interface) that is assignable to
    // `shared`; else `shared` when shared; else 0.
    static word_t getImplementedSharedInterface(word_t type, word_t shared);
    // A proxy of type `proxyType` allocated for `feature` (0: the kernel):
    // 0 with the exception pending when the feature is not started or
    // memory is out. The thread runs for `feature` while the proxy is
    // allocated, then for the kernel.
    static word_t allocateProxy(VMThread* t, word_t proxyType, word_t feature);
    // Stores the target (read after the allocation: objects move).
    static void newProxyInstance(word_t proxy, word_t target);
    // The proxy class of a shared interface (its descriptor's first word),
    // 0 when it is not shared or has none.
    static word_t proxyClassOf(word_t sharedInterface);
    // Whether the class implements an interface equivalent to the shared
    // interface (arrays and interfaces implement none).
    static bool implementsEquivalent(word_t type, word_t sharedInterface);
};

}  // namespace tarvelo
