// The address the listener binds: the registry value mapper_listen_address,
// a dotted IPv4 address, beside mapper_debug. Absent or empty, the mapper
// serves every interface; the product's front end on the same PC needs no
// more than 127.0.0.1.
#pragma once
#include <cstdint>

constexpr const char* kListenAddressValue = "mapper_listen_address";
// "255.255.255.255" and its terminator: anything longer is no address.
constexpr int kListenAddressRoom = 16;

struct ListenAddress {
  long result;                 // kRegistryOk, or why the setting cannot be used
  std::uint32_t networkOrder;  // 0: every interface
  char text[kListenAddressRoom];
};

ListenAddress ConfiguredListenAddress();
