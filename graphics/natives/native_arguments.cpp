// Checks of the context and image arguments shared by every native that
// draws or reads.
#include "graphics/natives/native_arguments.h"

#include "graphics/display/display_system.h"
#include "graphics/natives/vm_binding.h"

namespace tarvelo::graphics {

void raise_native_error(const char* message) { vm_binding().throwException(-1, message); }

SPictavoGraphicsContext* context_of(std::int8_t* array) {
    if (!java_array_range_ok(array, 0, sizeof(SPictavoGraphicsContext))) {
        raise_native_error("bad graphics context");
        return nullptr;
    }
    auto* gc = reinterpret_cast<SPictavoGraphicsContext*>(array);
    DisplaySystem::bind(gc);
    return gc;
}

SPictavoImage* image_of(std::int8_t* array) {
    if (!java_array_range_ok(array, 0, sizeof(SPictavoImage))) {
        raise_native_error("bad image");
        return nullptr;
    }
    auto* image = reinterpret_cast<SPictavoImage*>(array);
    if (image->flags & kImageBareBuffer) {
        // Only the display context names the bare buffer: a whole context.
        if (!java_array_range_ok(array, 0, sizeof(SPictavoGraphicsContext))) {
            raise_native_error("bad image");
            return nullptr;
        }
        DisplaySystem::bind(reinterpret_cast<SPictavoGraphicsContext*>(array));
    }
    return image;
}

}  // namespace tarvelo::graphics
