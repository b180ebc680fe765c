#include "wizard/discovery/adapter_walk.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "wizard/discovery/dns_query.h"
#include "wizard/discovery/host_table.h"

namespace {

constexpr std::size_t kServerCountSize = 4;
constexpr std::size_t kServerAddressSize = 4;
constexpr std::size_t kServerListCapacity =
    (kDnsServerListRoom - kServerCountSize) / kServerAddressSize;  // 63
constexpr std::size_t kServerTextRoom = 16;                        // "255.255.255.255"

// The servers the list holds, never more than fit in its buffer; 0 when it
// holds no list yet.
std::size_t ListedServerCount(const unsigned char* list) {
  if (list[0] == kNoServerListMark) return 0;
  std::uint32_t count = 0;
  std::memcpy(&count, list, sizeof count);
  return std::min<std::size_t>(count, kServerListCapacity);
}

void FormatServer(const unsigned char* list, std::size_t index, char* text) {
  const unsigned char* address = list + kServerCountSize + index * kServerAddressSize;
  std::snprintf(text, kServerTextRoom, "%u.%u.%u.%u", address[0], address[1], address[2],
                address[3]);
}

}  // namespace

void ReportDnsServers(ReportPage page, const unsigned char* list) {
  std::size_t count = ListedServerCount(list);
  for (std::size_t i = 0; i < count; ++i) {
    char server[kServerTextRoom];
    FormatServer(list, i, server);
    AppendReportLine(page, "DNS server %d : %s\r\n", static_cast<int>(i + 1), server);
  }
}

void ResolveAddress(ReportPage page, const char* address, const unsigned char* list) {
  if (address == nullptr || address[0] == '\0') return;
  if (list[0] == kNoServerListMark) {
    AddHostCandidate(address, "");
    return;
  }
  std::size_t count = ListedServerCount(list);
  if (count == 0) return;
  bool resolved = false;
  for (std::size_t i = 0; i < count && !resolved; ++i) {
    char server[kServerTextRoom];
    FormatServer(list, i, server);
    AppendReportLine(page, "Contact DNS server %d : %s\r\n", static_cast<int>(i + 1), server);
    bool tableFull = HostCandidateTable.lastIndex >= kHostCandidateCount - 1;
    if (tableFull || detectionActive.load() == 0) break;
    resolved = QueryPtrRecord(page, address, server) == 0;
  }
  if (!resolved) AddHostCandidate(address, "");
  ReportHostCandidates(page);
}
