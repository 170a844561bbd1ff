// The native interface's state that lives between a native's calls into
// the virtual machine and the interpreter's work after the native returns:
// the native exception a native asked for, the resource registration it
// left pending, and the thread's scoped resource.
#pragma once

#include <cstdint>

#include "platform/address.h"

namespace tarvelo {

struct VMThread;

// One set for the whole virtual machine: only one native runs at a time.
struct PendingNativeException {
    std::int32_t code;
    const char* message;  // NUL-terminated, or null for none
};

// The code and message stored by the last SNI_throwNative*Exception, which
// are then forgotten.
PendingNativeException take_pending_native_exception();
// The same without forgetting them (state dump).
PendingNativeException peek_pending_native_exception();

// Completes a registration a native left pending (flags bit 2).
void complete_resource_registration(VMThread* t);
// Calls the thread's scoped resource's close function (with the running
// hook set around the call) and clears it.
void close_scoped_resource(VMThread* t);

// A native that suspended its thread also left an exception: the thread
// stays running so that it unwinds to its handler, and the native is not
// run again.
void undo_native_suspension(VMThread* t);

// Whether the array whose first element is at `elements` lies outside the
// managed heap (in the immortal heap or the image); null counts as immortal.
bool is_immortal_array(const void* elements);

}  // namespace tarvelo
