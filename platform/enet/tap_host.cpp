// The host half of the Ethernet stand-in over a Linux TAP device.
#include "platform/enet/tap_host.h"

#include <fcntl.h>
#include <linux/if_tun.h>
#include <net/if.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "sim_interrupt.h"

namespace tap_host {
namespace {

constexpr std::size_t kRingFrames = 64;

struct Frame {
    std::size_t length;
    std::uint8_t data[kMaxFrame];
};

std::once_flag opened;
int tap_fd = -1;
int control_fd = -1;  // a datagram socket for the interface-flag queries
char name[IFNAMSIZ];
void (*notify)() = nullptr;

// The ring is shared by the reader thread and the firmware's receive path;
// the firmware side holds the lock only inside a no-preempt region, so a
// task switched out never holds it.
std::mutex ring_lock;
Frame ring[kRingFrames];
std::size_t ring_head = 0;  // oldest
std::size_t ring_count = 0;
std::atomic<std::uint32_t> dropped_frames{0};

// Takes the frames the device has, as many as the ring has room for, with
// one wake-up, and reports them once: a burst costs one interrupt. The
// interrupt is raised only when a frame went into an empty ring: otherwise
// the firmware has one coming or is still taking frames, and it empties the
// ring before it waits again.
void reader() {
    for (;;) {
        pollfd p{tap_fd, POLLIN, 0};
        if (::poll(&p, 1, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        bool raise = false;
        for (;;) {
            std::unique_lock<std::mutex> g(ring_lock);
            if (ring_count == kRingFrames) {
                // Full: one frame waiting in the device is dropped, as the
                // controller drops what its descriptors cannot hold.
                g.unlock();
                static std::uint8_t discard[kMaxFrame];
                if (::read(tap_fd, discard, sizeof discard) > 0) dropped_frames.fetch_add(1);
                break;
            }
            // The frame is read straight into the ring's free slot; the
            // firmware side only touches the slots before it.
            Frame& f = ring[(ring_head + ring_count) % kRingFrames];
            g.unlock();
            const ssize_t n = ::read(tap_fd, f.data, sizeof f.data);
            if (n <= 0) {
                if (n < 0 && (errno == EINTR || errno == EAGAIN)) break;
                // The interface went away (EBADFD/EIO): wait and try again.
                ::usleep(100000);
                break;
            }
            g.lock();
            f.length = static_cast<std::size_t>(n);
            if (ring_count++ == 0) raise = true;
        }
        if (raise && notify != nullptr) notify();
    }
}

void open_once() {
    const char* wanted = std::getenv("TARVELO_TAP");
    if (wanted == nullptr || wanted[0] == '\0') return;
    const int fd = ::open("/dev/net/tun", O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        std::fprintf(stderr, "TAP: cannot open /dev/net/tun: %s\n", std::strerror(errno));
        return;
    }
    ifreq req{};
    req.ifr_flags = IFF_TAP | IFF_NO_PI;
    std::snprintf(req.ifr_name, sizeof req.ifr_name, "%s", wanted);
    if (::ioctl(fd, TUNSETIFF, &req) < 0) {
        std::fprintf(stderr, "TAP: cannot attach to %s: %s\n", wanted, std::strerror(errno));
        ::close(fd);
        return;
    }
    std::snprintf(name, sizeof name, "%s", req.ifr_name);
    tap_fd = fd;
    control_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    std::thread(reader).detach();
}

}  // namespace

bool open(void (*on_frames)()) {
    notify = on_frames;
    std::call_once(opened, open_once);
    return tap_fd >= 0;
}

bool send(const std::uint8_t* frame, std::size_t length) {
    if (tap_fd < 0) return false;
    return ::write(tap_fd, frame, length) == static_cast<ssize_t>(length);
}

std::size_t peek_length() {
    std::lock_guard<std::mutex> g(ring_lock);
    return ring_count == 0 ? 0 : ring[ring_head].length;
}

std::size_t receive(std::uint8_t* buffer, std::size_t capacity) {
    std::lock_guard<std::mutex> g(ring_lock);
    if (ring_count == 0) return 0;
    const Frame& f = ring[ring_head];
    std::memcpy(buffer, f.data, f.length < capacity ? f.length : capacity);
    ring_head = (ring_head + 1) % kRingFrames;
    --ring_count;
    return f.length;
}

bool link_up() {
    if (tap_fd < 0 || control_fd < 0) return false;
    ifreq req{};
    std::snprintf(req.ifr_name, sizeof req.ifr_name, "%s", name);
    if (::ioctl(control_fd, SIOCGIFFLAGS, &req) < 0) return false;
    return (req.ifr_flags & IFF_UP) != 0;
}

std::uint32_t dropped() { return dropped_frames.load(); }

}  // namespace tap_host
