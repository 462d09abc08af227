#pragma once
// The listening address of the network server, written once for both socket APIs
// (they share these names): a numeric IPv4 or IPv6 address, or every IPv4
// interface when the text is empty.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif
#include <cstdint>
#include <string>

// Fills `a` and returns its length; 0 when the text is not a numeric address.
inline int ListenAddress(const std::string& address, uint16_t port, sockaddr_storage& a) {
  a = {};
  auto* v4 = reinterpret_cast<sockaddr_in*>(&a);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&a);
  if (address.empty() || inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
    if (address.empty()) v4->sin_addr.s_addr = htonl(INADDR_ANY);
    return static_cast<int>(sizeof(sockaddr_in));
  }
  if (inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    return static_cast<int>(sizeof(sockaddr_in6));
  }
  return 0;
}

// The port of a bound address (as the system chose it for port 0).
inline uint16_t AddressPort(const sockaddr_storage& a) {
  return ntohs(a.ss_family == AF_INET ? reinterpret_cast<const sockaddr_in*>(&a)->sin_port
                                      : reinterpret_cast<const sockaddr_in6*>(&a)->sin6_port);
}

inline constexpr char kNotNumericAddress[] = "not a numeric IPv4 or IPv6 address";
