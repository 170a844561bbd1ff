/* Compiler and platform definitions lwIP needs. */
#ifndef TARVELO_LWIP_ARCH_CC_H
#define TARVELO_LWIP_ARCH_CC_H

#include <limits.h>
#include <stdint.h>
/* ssize_t is the host's (a long) in lwIP's C files as in the C++ files that
 * call lwIP: lwIP must not define its own int-sized one. */
#include <sys/types.h>
#ifndef SSIZE_MAX
#define SSIZE_MAX LONG_MAX
#endif
#define LWIP_NO_UNISTD_H 1


#ifdef __cplusplus
extern "C" {
#endif
/* A pseudo-random 32-bit number (DHCP transaction ids, DNS query ids and
 * source ports, TCP initial sequence numbers). */
uint32_t tarvelo_lwip_rand(void);
/* Failed lwIP assertion: prints the message and halts the device. */
void tarvelo_lwip_assert(const char* message, const char* file, int line);
#ifdef __cplusplus
}
#endif

#define LWIP_RAND() tarvelo_lwip_rand()
#define LWIP_PLATFORM_DIAG(x) do { } while (0)
#define LWIP_PLATFORM_ASSERT(x) tarvelo_lwip_assert((x), __FILE__, __LINE__)
#ifndef BYTE_ORDER
#define BYTE_ORDER LITTLE_ENDIAN
#endif

#endif
