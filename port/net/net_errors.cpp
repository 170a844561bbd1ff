#include "port/net/net_errors.h"

#include <cerrno>
#include <cstring>

// lwIP takes its error numbers from the host here (LWIP_ERRNO_STDINCLUDE):
// the table is written in lwIP's numbering, which must be the same.
#define NET_ERRNO(name, number, value) static_assert((name) == (number), #name " differs from lwIP's number");
#include "port/net/net_errors.def"
#undef NET_ERRNO
static_assert(EAGAIN == 11 && EINPROGRESS == 115, "blocking errors differ from lwIP's numbers");

namespace {

using namespace tarvelo::net;

struct ErrnoTable {
    std::int16_t code[kLastMappedErrno - kFirstMappedErrno + 1];
    constexpr ErrnoTable() : code() {
        for (auto& c : code) c = kErrUnspecified;
#define NET_ERRNO(name, number, value)                                                           \
    static_assert((number) >= kFirstMappedErrno && (number) <= kLastMappedErrno, #name);         \
    code[(number) - kFirstMappedErrno] = (value);
#include "port/net/net_errors.def"
#undef NET_ERRNO
    }
};

constexpr ErrnoTable table;

}  // namespace

extern "C" std::int32_t LLNET_map_to_java_exception(std::int32_t error) {
    if (error < kFirstMappedErrno || error > kLastMappedErrno) return kErrUnspecified;
    return table.code[error - kFirstMappedErrno];
}

extern "C" const char* LLNET_get_socket_error_msg(std::int32_t error) {
    const char* text = std::strerror(error);
    return text == nullptr || text[0] == '\0' ? "Unspecified error" : text;
}
