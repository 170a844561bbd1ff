// When the default image stops after touches: a touch script plays whole
// and the image stops a second after its last sample; at a window it stops
// exactly a minute after the last touch, never while the finger is down.
#include <gtest/gtest.h>

#include "images/default/touch_natives.h"

namespace {

using tarvelo::default_image::millis_before_stop;
using tarvelo::default_image::TouchWait;

TEST(DefaultImageStop, AfterTheScriptOrTheLastTouch) {
    struct Case {
        const char* name;
        TouchWait wait;
        TickType_t now;  // ticks of 5 ms
        std::int32_t millis;
    };
    const Case cases[] = {
        {"nobody can touch", {}, 100, 0},
        {"script: its end and a second", {false, true, 300, false, false, 0, 20}, 20, 1400 + 1000},
        {"script: first touch late", {false, true, 1600 / 5, false, false, 0, 0}, 0, 1600 + 1000},
        {"script: a second after its end", {false, true, 300, false, false, 0, 20}, 500, 0},
        {"script: just before", {false, true, 300, false, false, 0, 20}, 499, 5},
        {"window: no touch yet", {true, false, 0, false, false, 0, 10}, 10, 60000},
        {"window: half a minute after the touch", {true, false, 0, true, false, 1000, 10}, 7000, 30000},
        {"window: a minute after the touch", {true, false, 0, true, false, 1000, 10}, 13000, 0},
        {"window: the finger is down", {true, false, 0, true, true, 1000, 10}, 50000, 60000},
        {"window and script: the later", {true, true, 2000, true, false, 1000, 10}, 2000, 60000},
        {"window: ticks wrapped", {true, false, 0, true, false, 0xFFFFFF00u, 0xFFFFFE00u}, 0x10, 60000 - 272 * 5},
    };
    for (const Case& c : cases) EXPECT_EQ(millis_before_stop(c.wait, c.now), c.millis) << c.name;
}

}  // namespace
