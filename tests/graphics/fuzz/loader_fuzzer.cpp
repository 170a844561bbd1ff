// libFuzzer targets of the image and font loaders (one per LOADER value):
// any input is refused or loaded, never read past, and leaves the image
// heap as it was once the image is closed. Loaded images are also drawn
// rotated and scaled, fonts as plain, renderable, scaled and rotated text
// (tests/graphics/loader_exercise.cpp, which the damaged-files test of CI
// runs too).
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "tests/graphics/loader_exercise.h"
#include "tests/graphics/test_port.h"

using namespace tarvelo::graphics;

// 0 RAW, 1 BMP, 2 PNG, 3 font: anything else is a build mistake, not the
// font loader.
#if !defined(LOADER) || LOADER < 0 || LOADER > 3
#error "LOADER must name one of the four loaders (0 to 3)"
#endif

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static SPictavoGraphicsContext display{};
    static const bool started = test::port().start(&display) == 0;
    if (!started || size > 8000) return 0;
    // Every pixel is read, however many the image declares.
    if (!test::exercise_loader(static_cast<test::Loader>(LOADER), data, size, std::numeric_limits<std::int32_t>::max()))
        std::abort();
    return 0;
}
