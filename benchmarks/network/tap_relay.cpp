// The throughput benchmark's peer: two Linux TCP stacks joined through two
// TAP devices by this relay, which carries each frame with one read and one
// write system call, as the firmware's Ethernet stand-in does on its side.
// Creates the two devices, prints "ready" and relays until it is killed.
//   tap_relay <first device> <second device>
#include <fcntl.h>
#include <linux/if_tun.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <thread>

namespace {

int open_tap(const char* name) {
    const int fd = ::open("/dev/net/tun", O_RDWR | O_CLOEXEC);
    if (fd < 0) return -1;
    ifreq req{};
    req.ifr_flags = IFF_TAP | IFF_NO_PI;
    std::snprintf(req.ifr_name, sizeof req.ifr_name, "%s", name);
    if (::ioctl(fd, TUNSETIFF, &req) < 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void relay(int from, int to) {
    unsigned char frame[2048];
    for (;;) {
        const ssize_t n = ::read(from, frame, sizeof frame);
        if (n < 0) {
            ::usleep(1000);  // the device is down
            continue;
        }
        (void)::write(to, frame, static_cast<std::size_t>(n));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <first device> <second device>\n", argv[0]);
        return 2;
    }
    const int a = open_tap(argv[1]);
    const int b = open_tap(argv[2]);
    if (a < 0 || b < 0) {
        std::perror("TAP device");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    std::thread(relay, b, a).detach();
    relay(a, b);
}
