/* lwIP options of the firmware: an RTOS build (sockets and netconn over the
 * "tcp/ip" thread, with core locking), IPv4 only, at most 10 sockets, DHCP
 * and DNS, the netif API with its status callbacks, loopback for the select
 * task's wake-up socket. Packet buffers live in fixed pools and lwIP's own
 * heap, never in the host's.
 *
 * Built against the 2.1 line (Debian's 2.1.3); what differs from the 2.2
 * line for this firmware:
 * - the DHCP client's ARP probe of an offered address is DHCP_DOES_ARP_CHECK
 *   here (LWIP_DHCP_DOES_ACD_CHECK in 2.2); it is off in both;
 * - Debian's sockets.c reads the socket-address length through macros its
 *   own port defines (below);
 * - the same in both: the interface status callback and its link-changed
 *   reason (4), the DHCP client's try counter, ERR_INPROGRESS (-5) from the
 *   resolver, lwip_fcntl with O_NONBLOCK only, no SO_REUSEPORT, and a reset
 *   answering a connection request reported as ECONNRESET (the connect
 *   completion reports it as refused). */
#ifndef TARVELO_LWIPOPTS_H
#define TARVELO_LWIPOPTS_H

/* --- operating system -------------------------------------------------- */
#define NO_SYS                          0
#define SYS_LIGHTWEIGHT_PROT            1
#define LWIP_TCPIP_CORE_LOCKING         1
#define LWIP_TCPIP_CORE_LOCKING_INPUT   0
#define TCPIP_THREAD_NAME               "tcp/ip"
#define TCPIP_THREAD_STACKSIZE          1024 /* words */
#define TCPIP_THREAD_PRIO               8
#define TCPIP_MBOX_SIZE                 16
#define DEFAULT_THREAD_STACKSIZE        512
#define DEFAULT_THREAD_PRIO             5
#define DEFAULT_RAW_RECVMBOX_SIZE       8
#define DEFAULT_UDP_RECVMBOX_SIZE       8
#define DEFAULT_TCP_RECVMBOX_SIZE       16
#define DEFAULT_ACCEPTMBOX_SIZE         8
#define LWIP_NETCONN_SEM_PER_THREAD     0

/* lwIP's error numbers are the host's (the same numbering in the range the
 * natives translate); errno is per task, since each task is a host thread. */
#define LWIP_ERRNO_STDINCLUDE           1

/* --- memory ------------------------------------------------------------ */
/* Pointer-sized: lwIP keeps pointers in its pool elements (8 on the host). */
#define MEM_ALIGNMENT                   __SIZEOF_POINTER__
#define MEM_SIZE                        (64 * 1024)
#define MEMP_NUM_PBUF                   32
#define MEMP_NUM_UDP_PCB                8
#define MEMP_NUM_TCP_PCB                16 /* sockets, and connections closing after theirs went */
#define MEMP_NUM_TCP_PCB_LISTEN         6
#define MEMP_NUM_TCP_SEG                64
#define MEMP_NUM_NETBUF                 16
#define MEMP_NUM_NETCONN                10 /* = the number of sockets */
#define MEMP_NUM_SYS_TIMEOUT            (LWIP_NUM_SYS_TIMEOUT_INTERNAL + 4)
#define MEMP_NUM_TCPIP_MSG_API          16
#define MEMP_NUM_TCPIP_MSG_INPKT        32
#define PBUF_POOL_SIZE                  48
#define PBUF_POOL_BUFSIZE               1536

/* --- IP ---------------------------------------------------------------- */
#define LWIP_IPV4                       1
#define LWIP_IPV6                       0
#define LWIP_ARP                        1
#define LWIP_ETHERNET                   1
#define ETHARP_SUPPORT_STATIC_ENTRIES   0
#define IP_REASSEMBLY                   1
#define IP_FRAG                         1
#define LWIP_ICMP                       1
#define LWIP_RAW                        0
#define LWIP_IGMP                       1
#define LWIP_MULTICAST_TX_OPTIONS       1
#define LWIP_BROADCAST_PING             0

/* --- DHCP and DNS ------------------------------------------------------ */
#define LWIP_DHCP                       1
/* No ARP probe of the offered address: the firmware binds as soon as the
 * server acknowledges (the probe only adds a second before "bound"). */
#define DHCP_DOES_ARP_CHECK             0
#define LWIP_DNS                        1
#define DNS_MAX_SERVERS                 2
#define DNS_TABLE_SIZE                  4
#define DNS_MAX_NAME_LENGTH             256
#define LWIP_DHCP_PROVIDE_DNS_SERVERS   1

/* --- TCP and UDP ------------------------------------------------------- */
#define LWIP_UDP                        1
#define LWIP_TCP                        1
#define TCP_MSS                         1460
#define TCP_WND                         (8 * TCP_MSS)
#define TCP_SND_BUF                     (8 * TCP_MSS)
#define TCP_SND_QUEUELEN                (4 * TCP_SND_BUF / TCP_MSS)
#define TCP_LISTEN_BACKLOG              1
#define LWIP_TCP_KEEPALIVE              1
#define SO_REUSE                        1
#define SO_REUSE_RXTOALL                1

/* --- interfaces -------------------------------------------------------- */
#define LWIP_NETIF_API                  1
#define LWIP_NETIF_STATUS_CALLBACK      1
#define LWIP_NETIF_LINK_CALLBACK        1
#define LWIP_NETIF_EXT_STATUS_CALLBACK  1
#define LWIP_NETIF_HWADDRHINT           1
#define LWIP_HAVE_LOOPIF                1
#define LWIP_NETIF_LOOPBACK             1
#define LWIP_LOOPBACK_MAX_PBUFS         16
#define LWIP_SINGLE_NETIF               0

/* --- sockets ----------------------------------------------------------- */
#define LWIP_NETCONN                    1
#define LWIP_SOCKET                     1
#define LWIP_SOCKET_SELECT              1
#define LWIP_SOCKET_POLL                0
#define LWIP_COMPAT_SOCKETS             0
#define LWIP_POSIX_SOCKETS_IO_NAMES     0
#define LWIP_SOCKET_OFFSET              0
#define LWIP_SO_RCVBUF                  1
#define LWIP_SO_SNDTIMEO                0
#define LWIP_SO_RCVTIMEO                0
#define LWIP_SO_LINGER                  1
#define RECV_BUFSIZE_DEFAULT            (16 * 1024)
#define LWIP_FIONREAD_LINUXMODE         0

/* Debian's lwIP source reads and writes the socket-address length through
 * these macros (its own port defines them); lwIP's socket addresses carry
 * the length field. */
#define IP4ADDR_SOCKADDR_SET_LEN(sin) ((sin)->sin_len = sizeof(struct sockaddr_in))
#define IP6ADDR_SOCKADDR_SET_LEN(sin6)
#define IPADDR_SOCKADDR_GET_LEN(addr) ((addr)->sa.sa_len)

/* --- checks and statistics --------------------------------------------- */
#define LWIP_STATS                      0
#define LWIP_DEBUG                      0
#define CHECKSUM_CHECK_IP               1
#define CHECKSUM_CHECK_TCP              1
#define CHECKSUM_CHECK_UDP              1

#endif
