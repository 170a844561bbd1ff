// LED natives: every call goes unchanged to the port's LED hooks; the engine
// keeps no LED state.
#include <cstdint>

extern "C" {

std::int32_t LLUI_LED_IMPL_initialize(void);
void LLUI_LED_IMPL_setIntensity(std::int32_t led, std::int32_t intensity);
std::int32_t LLUI_LED_IMPL_getIntensity(std::int32_t led);

// A port without LEDs.
__attribute__((weak)) std::int32_t LLUI_LED_IMPL_initialize(void) { return 0; }
__attribute__((weak)) void LLUI_LED_IMPL_setIntensity(std::int32_t, std::int32_t) {}
__attribute__((weak)) std::int32_t LLUI_LED_IMPL_getIntensity(std::int32_t) { return 0; }

std::int32_t Java_yq_pictavo_display_NSystemLedsImpl_getNbLeds(void) { return LLUI_LED_IMPL_initialize(); }

void Java_yq_pictavo_display_NSystemLedsImpl_setLedIntensityNative(std::int32_t led, std::int32_t intensity) {
    LLUI_LED_IMPL_setIntensity(led, intensity);
}

std::int32_t Java_yq_pictavo_display_NSystemLedsImpl_getLedIntensityNative(std::int32_t led) {
    return LLUI_LED_IMPL_getIntensity(led);
}

}  // extern "C"
