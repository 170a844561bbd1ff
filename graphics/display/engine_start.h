// The engine as a whole: started once, by the display's start-up.
#pragma once

namespace tarvelo::graphics {

struct Engine {
    static bool started();
    // Whether the display shows colours (opaque and transparent black differ
    // after a round trip through the display format).
    static bool colourDisplay();
    // Forgets the engine, the image heap and the display (tests).
    static void resetForTests();
};

}  // namespace tarvelo::graphics
