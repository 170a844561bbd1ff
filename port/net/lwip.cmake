# lwIP, from Debian's source package in third_party/lwip, built with the
# firmware's own options (port/net/include/lwipopts.h) and its binding to the
# RTOS (sys_arch.cpp).
set(LWIP_DIR ${CMAKE_SOURCE_DIR}/third_party/lwip)
set(lwip_sources
  core/init.c core/def.c core/dns.c core/inet_chksum.c core/ip.c core/mem.c core/memp.c
  core/netif.c core/pbuf.c core/raw.c core/stats.c core/sys.c core/tcp.c core/tcp_in.c
  core/tcp_out.c core/timeouts.c core/udp.c
  core/ipv4/dhcp.c core/ipv4/etharp.c core/ipv4/icmp.c core/ipv4/igmp.c core/ipv4/ip4_frag.c
  core/ipv4/ip4.c core/ipv4/ip4_addr.c
  api/api_lib.c api/api_msg.c api/err.c api/if_api.c api/netbuf.c api/netdb.c api/netifapi.c
  api/sockets.c api/tcpip.c
  netif/ethernet.c
)
list(TRANSFORM lwip_sources PREPEND ${LWIP_DIR}/src/)
# The vendor's lwIP interface layer of the Ethernet stand-in is built here,
# beside lwIP, since it is lwIP code.
add_library(tarvelo_lwip STATIC ${lwip_sources} ${CMAKE_CURRENT_SOURCE_DIR}/sys_arch.cpp
            ${CMAKE_SOURCE_DIR}/platform/enet/ethernetif.cpp)
target_include_directories(tarvelo_lwip PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include ${LWIP_DIR}/src/include)
# Third-party code: its warnings are not ours to fix.
set_source_files_properties(${lwip_sources} PROPERTIES COMPILE_OPTIONS "-w")
# lwIP and the firmware refer to each other (the binding calls the RTOS, the
# port calls lwIP): the library joins the firmware's link group and takes
# only the RTOS's headers here.
target_include_directories(tarvelo_lwip PRIVATE $<TARGET_PROPERTY:tarvelo_platform,INTERFACE_INCLUDE_DIRECTORIES>)
# Strict C: the host's <sys/types.h> then brings no struct timeval nor fd_set
# of its own into lwIP's files; lwIP's are the ones its sockets use.
set_target_properties(tarvelo_lwip PROPERTIES C_EXTENSIONS OFF)
