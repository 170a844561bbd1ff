// Natives of the TLS program besides the TLS ones: the application clock set
// from the host's wall clock (certificates are judged by it), and the
// certificate files the test script made, read from TARVELO_TLS_FILES.
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "vm/core/engine/java_array_range.h"
#include "vm/core/port/os_port.h"

extern "C" {

void Java_app_T_syncClock(void) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    LLOSTV_IMPL_setApplicationTime__J(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

// Reads the file named by name[0, nameLength) into buffer; the byte count,
// or -1 when it is missing or does not fit.
std::int32_t Java_app_T_readFile(const std::int8_t* name, std::int32_t nameLength, std::int8_t* buffer) {
    const char* dir = std::getenv("TARVELO_TLS_FILES");
    if (dir == nullptr || !tarvelo::java_array_range_ok(name, 0, nameLength) || buffer == nullptr) return -1;
    std::ifstream in(std::string(dir) + "/" + std::string(reinterpret_cast<const char*>(name), nameLength),
                     std::ios::binary);
    if (!in) return -1;
    const std::int32_t capacity = tarvelo::java_array_length(buffer);
    in.read(reinterpret_cast<char*>(buffer), capacity);
    const auto n = static_cast<std::int32_t>(in.gcount());
    if (n == capacity && in.peek() != std::char_traits<char>::eof()) return -1;
    return n;
}

}  // extern "C"
