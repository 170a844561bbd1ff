// The network natives' error codes and the translation of lwIP's error
// numbers into them.
#pragma once

#include <cstdint>

namespace tarvelo::net {

enum NetErrorCode : std::int32_t {
    kErrInvalidArgument = -9,
    kErrOptionNotSupported = -10,
    kErrNotConnected = -11,
    kErrAddressFamily = -12,
    kErrTimeout = -18,
    kErrDnsFailed = -21,
    kErrUnspecified = -255,
};

// The first and last lwIP error numbers of the table.
constexpr int kFirstMappedErrno = 9;
constexpr int kLastMappedErrno = 113;

}  // namespace tarvelo::net

extern "C" {
// The error code of an lwIP error number: the table, -255 outside it.
std::int32_t LLNET_map_to_java_exception(std::int32_t error);
// The standard library's text for the number, "Unspecified error" when
// that text is empty.
const char* LLNET_get_socket_error_msg(std::int32_t error);
}
