#include "tests/port/security/sni_stand_in.h"

#include "vm/core/engine/sni.h"

namespace tarvelo::test {

SniRecord& sni() {
    static SniRecord record;
    return record;
}

void reset_sni() { sni() = SniRecord{}; }

}  // namespace tarvelo::test

using tarvelo::test::sni;

extern "C" std::int32_t SNI_throwNativeException(std::int32_t errorCode, const char* message) {
    sni().raised.push_back({errorCode, message != nullptr ? message : ""});
    return 0;
}

extern "C" std::int32_t SNI_registerResource(void* resource, SNIX_resource_close close, SNIX_resource_description) {
    if (sni().register_result == 0) sni().registered.emplace_back(resource, reinterpret_cast<void*>(close));
    return sni().register_result;
}

extern "C" std::int64_t LLOSTV_IMPL_getCurrentTime__Z(std::uint8_t) { return sni().application_time_ms; }

extern "C" std::int32_t SNI_throwNativeIOException(std::int32_t errorCode, const char* message) {
    return SNI_throwNativeException(errorCode, message);
}
