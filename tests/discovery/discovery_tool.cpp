// Test driver for the PTR query client, so that Python tests can run it
// against real and scripted DNS servers, natively and under Wine. The report
// lines go byte for byte into the file OUT.
//   discovery_tool resolve OUT SERVERS ADDRESS...  ResolveAddress for each address,
//       SERVERS (dotted, comma-separated) standing for the adapter's server list
//   discovery_tool query OUT SERVER ADDRESS...     QueryPtrRecord for each address,
//       then the table's report; prints "result N" per call
// Both print "elapsed MS" for the calls, start-up not counted.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/net.h"
#include "wizard/discovery/adapter_walk.h"
#include "wizard/discovery/dns_query.h"
#include "wizard/discovery/host_table.h"

namespace {

std::FILE* reportFile = nullptr;

void WriteLine(ReportPage, const char* line) {
  std::fwrite(line, 1, std::strlen(line), reportFile);
}

// The adapter's list as the DNS API fills it: a count, then the addresses.
bool ServerList(const char* servers, unsigned char* list) {
  std::memset(list, 0, kDnsServerListRoom);
  std::uint32_t count = 0;
  std::string all = servers;
  for (std::size_t start = 0; start <= all.size() && count < 63;) {
    std::size_t end = all.find(',', start);
    if (end == std::string::npos) end = all.size();
    std::uint32_t address = NetParseDotted(all.substr(start, end - start).c_str());
    std::memcpy(list + 4 + 4 * count++, &address, 4);
    start = end + 1;
  }
  std::memcpy(list, &count, 4);
  return count > 0;
}

int Run(const std::string& mode, int count, char** addresses, const char* servers) {
  unsigned char list[kDnsServerListRoom];
  if (mode == "resolve" && !ServerList(servers, list)) return 2;
  auto began = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) {
    if (mode == "resolve") {
      ResolveAddress(nullptr, addresses[i], list);
    } else {
      std::printf("result %d\n", QueryPtrRecord(nullptr, addresses[i], servers));
    }
  }
  if (mode == "query") ReportHostCandidates(nullptr);
  auto spent = std::chrono::steady_clock::now() - began;
  std::printf(
      "elapsed %lld\n",
      static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(spent).count()));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) return 2;
  std::string mode = argv[1];
  if (mode != "resolve" && mode != "query") return 2;
  int major = 0;
  int minor = 0;
  if (NetStartup(2, 0, &major, &minor) != 0) return 2;
  reportFile = std::fopen(argv[2], "wb");
  if (reportFile == nullptr) return 2;
  SetReportSink(WriteLine);
  ClearHostCandidates();
  detectionActive = 1;
  int status = Run(mode, argc - 4, argv + 4, argv[3]);
  std::fflush(stdout);
  std::fclose(reportFile);
  NetCleanup();
  return status;
}
