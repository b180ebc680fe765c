// Winsock's header must come before everything that includes windows.h.
#include <winsock2.h>

#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <windns.h>

#include "wizard/discovery/adapter_detection.h"

#include <cstring>
#include <memory>
#include <new>

#include "wizard/discovery/adapter_walk.h"
#include "wizard/discovery/dns_message.h"
#include "wizard/discovery/host_table.h"
#include "wizard/ip_helpers.h"

namespace {

constexpr ULONG kFirstAdapterBufferBytes = 640;
constexpr int kAdapterListAttempts = 2;
constexpr DWORD kNoDnsServers = 9852;  // DNS_ERROR_NO_DNS_SERVERS
constexpr int kAdapterNameChars = 255;
constexpr int kInterfaceRecords = 20;
static_assert(sizeof(INTERFACE_INFO) == 76, "interface records as the list returns them");

struct FreeBuffer {
  void operator()(unsigned char* buffer) const { delete[] buffer; }
};
using AdapterBuffer = std::unique_ptr<unsigned char[], FreeBuffer>;

// The adapter list, or nullptr after reporting why it could not be read.
// The first call may answer that the buffer is too small, with the size it
// needs; a second such answer ends the walk like any other failure.
AdapterBuffer ReadAdapterList(ReportPage page) {
  ULONG size = kFirstAdapterBufferBytes;
  DWORD result = ERROR_BUFFER_OVERFLOW;
  for (int attempt = 0; attempt < kAdapterListAttempts; ++attempt) {
    AdapterBuffer buffer(new (std::nothrow) unsigned char[size]);
    if (!buffer) {
      result = ERROR_NOT_ENOUGH_MEMORY;
      break;
    }
    result = getAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.get()), &size);
    if (result == ERROR_SUCCESS) return buffer;
    if (result != ERROR_BUFFER_OVERFLOW) break;
  }
  AppendReportLine(page, "GetAdaptersInfo failed with rc : %ld\r\n", static_cast<long>(result));
  return nullptr;
}

DWORD QueryServerList(const char* adapterName, unsigned char* list) {
  wchar_t wideName[kAdapterNameChars + 1] = {};
  if (MultiByteToWideChar(CP_ACP, 0, adapterName, -1, wideName, kAdapterNameChars) == 0) {
    wideName[0] = L'\0';
  }
  DWORD length = kDnsServerListRoom;
  return dnsQueryConfig(DnsConfigDnsServerList, 0, wideName, nullptr, list, &length);
}

void ResolveAdapterAddresses(ReportPage page, const IP_ADAPTER_INFO& adapter,
                             const unsigned char* list) {
  int found = 0;
  for (const IP_ADDR_STRING* entry = &adapter.IpAddressList; entry; entry = entry->Next) {
    const char* address = entry->IpAddress.String;
    if (std::strcmp(address, "0.0.0.0") == 0) continue;
    ++found;
    AppendReportLine(page, "Associated IP address found : %s \r\n", address);
    ResolveAddress(page, address, list);
  }
  if (found == 0) AppendReportLine(page, "No associated IP address found\r\n");
}

}  // namespace

int DetectByAdapters(ReportPage page) {
  if (!ipHelperAvailable) return 0;
  ClearHostCandidates();
  unsigned char serverList[kDnsServerListRoom];
  serverList[0] = kNoServerListMark;
  AdapterBuffer adapters = ReadAdapterList(page);
  if (!adapters) return 0;
  const auto* adapter = reinterpret_cast<const IP_ADAPTER_INFO*>(adapters.get());
  for (; adapter != nullptr; adapter = adapter->Next) {
    if (detectionActive.load() == 0) break;
    AppendReportLine(page, "AdapterName : %s \r\n", adapter->AdapterName);
    DWORD result = QueryServerList(adapter->AdapterName, serverList);
    if (result != ERROR_SUCCESS && result != kNoDnsServers) {
      AppendReportLine(page, "Error on DnsQueryConfig : %ld\r\n", static_cast<long>(result));
      return 0;
    }
    ReportDnsServers(page, serverList);
    ResolveAdapterAddresses(page, *adapter, serverList);
  }
  return 1;
}

int DetectByInterfaces(ReportPage page) {
  if (ipHelperAvailable) return 0;
  ClearHostCandidates();
  SOCKET s = WSASocketA(AF_INET, SOCK_DGRAM, 0, nullptr, 0, 0);
  if (s == INVALID_SOCKET) {
    AppendReportLine(page, "Failed to get a socket. Error %ld\r\n",
                     static_cast<long>(WSAGetLastError()));
    return 0;
  }
  INTERFACE_INFO interfaces[kInterfaceRecords];
  DWORD bytes = 0;
  if (WSAIoctl(s, SIO_GET_INTERFACE_LIST, nullptr, 0, interfaces, sizeof interfaces, &bytes,
               nullptr, nullptr) == SOCKET_ERROR) {
    AppendReportLine(page, "Failed calling WSAIoctl: error %ld\r\n",
                     static_cast<long>(WSAGetLastError()));
    closesocket(s);
    return 0;
  }
  int count = static_cast<int>(bytes / sizeof(INTERFACE_INFO));
  AppendReportLine(page, "There are %d interfaces:\r\n", count);
  for (int i = 0; i < count; ++i) {
    in_addr address = interfaces[i].iiAddress.AddressIn.sin_addr;
    char text[kAddressRoom];
    std::strncpy(text, inet_ntoa(address), sizeof text - 1);
    text[sizeof text - 1] = '\0';
    if (std::strcmp(text, "0.0.0.0") == 0) continue;
    const hostent* host = gethostbyaddr(reinterpret_cast<const char*>(&address), 4, AF_INET);
    const char* name = host != nullptr && host->h_name != nullptr ? host->h_name : "";
    if (std::strcmp(name, "localhost") == 0) continue;
    AddHostCandidate(text, IsValidHostName(name, std::strlen(name)) ? name : "");
  }
  closesocket(s);
  ReportHostCandidates(page);
  return 1;
}
