// lwIP's socket interface for the firmware's C++ files. The C++ library
// brings the host's struct timeval and fd_set into every translation unit
// (through <stdlib.h> and <sys/types.h>), which would collide with lwIP's
// own; lwIP's are renamed here and keep their layout (a 2-byte socket set
// for 10 sockets, two longs for a time), the same as in lwIP's C build.
#pragma once

#include <cstdlib>

#undef FD_SET
#undef FD_CLR
#undef FD_ISSET
#undef FD_ZERO
#undef FD_SETSIZE
#define fd_set lwip_fd_set
#define timeval lwip_timeval

extern "C" {
#include "lwip/sockets.h"
}

#undef fd_set
#undef timeval
using lwip_fd_set_t = struct lwip_fd_set;
using lwip_timeval_t = struct lwip_timeval;
