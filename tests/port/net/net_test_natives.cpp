// Natives of the network programs besides the network's own: the system
// time, byte arrays printed as numbers or text, the DHCP state, a CRC-32.
#include <zlib.h>

#include <cinttypes>
#include <cstdint>

#include "platform/board/debug_console.h"
#include "port/net/network_interfaces.h"
#include "vm/core/port/os_port.h"

extern "C" {

std::int64_t Java_app_T_now(void) { return LLOSTV_IMPL_getCurrentTime__Z(1); }

std::int32_t Java_app_T_dhcpState(void) { return g_dhcp_state.load(); }

// Bytes [offset, offset + count) as unsigned decimals joined by dots.
void Java_app_T_printBytes(const std::uint8_t* bytes, std::int32_t offset, std::int32_t count) {
    for (std::int32_t i = 0; i < count; ++i) DbgConsole_Printf(i == 0 ? "%u" : ".%u", bytes[offset + i]);
    DbgConsole_Printf("\n");
}

// Bytes [offset, offset + count) as text.
void Java_app_T_printText(const std::uint8_t* bytes, std::int32_t offset, std::int32_t count) {
    for (std::int32_t i = 0; i < count; ++i) DbgConsole_Putchar(bytes[offset + i]);
    DbgConsole_Putchar('\n');
}

// The CRC-32 `crc` continued over bytes [offset, offset + count).
std::int32_t Java_app_T_crc32(std::int32_t crc, const std::uint8_t* bytes, std::int32_t offset, std::int32_t count) {
    return static_cast<std::int32_t>(
        ::crc32(static_cast<uLong>(static_cast<std::uint32_t>(crc)), bytes + offset, static_cast<uInt>(count)));
}

}  // extern "C"
