// The statics areas of the image: zeroed each time the virtual machine
// starts, so that every class initialiser starts from zero and null, and a
// machine started again holds no reference into the heap it reset.
#pragma once

namespace tarvelo {

struct VMComponent;

struct StaticsComponent {
    // Component start of the image directory: zeroes BT1, BT2, BT4, BT8 and
    // REF (the lazily initialised references included).
    static void start(VMComponent* self);
};

}  // namespace tarvelo
