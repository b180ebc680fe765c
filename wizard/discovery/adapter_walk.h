// The parts of the adapter walk that need no Windows call: the adapter's DNS
// server list as the DNS API gives it, its report, and the look-up of one
// address through those servers.
#pragma once
#include <cstddef>

#include "wizard/discovery/report.h"

// An IP4_ARRAY in a 256-byte buffer: a 32-bit count, then that many IPv4
// addresses in network byte order (room for 63). A first byte of 0xFF marks a
// buffer that holds no list yet.
constexpr std::size_t kDnsServerListRoom = 256;
constexpr unsigned char kNoServerListMark = 0xFF;

void ReportDnsServers(ReportPage page, const unsigned char* list);
void ResolveAddress(ReportPage page, const char* address, const unsigned char* list);
