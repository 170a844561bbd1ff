// A TCP relay in front of a TLS server that ends the connection early, the
// way a peer or an attacker may: it passes everything through until the
// server has sent `records` application-data records, then passes the first
// half of the next record ("half") or none of it ("boundary") and closes
// both connections without the server's close_notify. One client at a
// time, for ever.
//   record_cutting_relay <listen address> <port> <server address> <port> <records> half|boundary
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr unsigned char kApplicationData = 23;
constexpr std::size_t kHeader = 5;

sockaddr_in address_of(const char* host, const char* port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(std::atoi(port)));
    if (inet_pton(AF_INET, host, &a.sin_addr) != 1) {
        std::fprintf(stderr, "bad address %s\n", host);
        std::exit(2);
    }
    return a;
}

bool send_all(int fd, const unsigned char* p, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
        if (w <= 0) return false;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

// Ends the client's connection with a FIN, not a reset: what it sent is
// read and dropped until it closes too (or a second passes).
void close_gracefully(int client) {
    ::shutdown(client, SHUT_WR);
    pollfd p{client, POLLIN, 0};
    unsigned char sink[4096];
    while (::poll(&p, 1, 1000) > 0 && ::recv(client, sink, sizeof sink, 0) > 0) {
    }
    ::close(client);
}

void relay(int client, const sockaddr_in& server_address, long records, bool half) {
    const int server = ::socket(AF_INET, SOCK_STREAM, 0);
    if (::connect(server, reinterpret_cast<const sockaddr*>(&server_address), sizeof server_address) != 0) {
        ::close(server);
        ::close(client);
        return;
    }
    // The server's bytes not yet passed on: whole records only, so that the
    // cut falls where it should.
    std::vector<unsigned char> pending;
    long passed = 0;
    bool open = true;
    while (open) {
        pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        if (::poll(p, 2, -1) <= 0) break;
        unsigned char buffer[16384];
        if (p[0].revents != 0) {
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0 || !send_all(server, buffer, static_cast<std::size_t>(n))) break;
        }
        if (p[1].revents != 0) {
            const ssize_t n = ::recv(server, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            pending.insert(pending.end(), buffer, buffer + n);
            std::size_t at = 0;
            while (open && pending.size() - at >= kHeader) {
                const std::size_t length = kHeader + (std::size_t{pending[at + 3]} << 8 | pending[at + 4]);
                const bool data = pending[at] == kApplicationData;
                if (data && passed == records) {
                    // The cut: part of this record, then the end.
                    const std::size_t part = half ? length / 2 : 0;
                    if (pending.size() - at < part) break;
                    send_all(client, pending.data() + at, part);
                    open = false;
                    break;
                }
                if (pending.size() - at < length) break;
                if (!send_all(client, pending.data() + at, length)) open = false;
                if (data) ++passed;
                at += length;
                // On the boundary: nothing of the next record.
                if (!half && passed == records) open = false;
            }
            pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(std::min(at, pending.size())));
        }
    }
    ::close(server);
    close_gracefully(client);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7) {
        std::fprintf(stderr, "usage: %s <listen address> <port> <server address> <port> <records> half|boundary\n",
                     argv[0]);
        return 2;
    }
    const sockaddr_in listen_address = address_of(argv[1], argv[2]);
    const sockaddr_in server_address = address_of(argv[3], argv[4]);
    const long records = std::atol(argv[5]);
    const bool half = std::strcmp(argv[6], "half") == 0;
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(listener, reinterpret_cast<const sockaddr*>(&listen_address), sizeof listen_address) != 0 ||
        ::listen(listener, 4) != 0) {
        std::perror("listen");
        return 1;
    }
    for (;;) {
        const int client = ::accept(listener, nullptr, nullptr);
        if (client >= 0) relay(client, server_address, records, half);
    }
}
