// IPv4 records shared by the two socket backends. Included after the
// system's socket headers, which declare sockaddr_in and hostent on both.
#pragma once
#include <cstdint>
#include <cstring>

inline sockaddr_in Ipv4SocketAddress(std::uint32_t networkOrderAddress, int hostOrderPort) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(hostOrderPort));
  address.sin_addr.s_addr = networkOrderAddress;
  return address;
}

// The first IPv4 address of a host record.
inline bool FirstIpv4(const hostent* host, std::uint32_t* address) {
  if (host == nullptr || host->h_addrtype != AF_INET || host->h_length != 4 ||
      host->h_addr_list[0] == nullptr) {
    return false;
  }
  std::memcpy(address, host->h_addr_list[0], 4);
  return true;
}
