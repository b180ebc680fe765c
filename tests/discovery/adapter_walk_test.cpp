// The adapter's DNS server list: its report, and what ResolveAddress does
// before it would ask a server.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tests/discovery/report_capture.h"
#include "wizard/discovery/adapter_walk.h"
#include "wizard/discovery/host_table.h"

namespace {

// A list as the DNS API fills it, in a buffer of exactly its room so that the
// sanitizers see any read beyond it.
std::unique_ptr<unsigned char[]> ServerList(std::uint32_t count,
                                            const std::vector<std::uint32_t>& servers) {
  std::unique_ptr<unsigned char[]> list(new unsigned char[kDnsServerListRoom]());
  std::memcpy(list.get(), &count, sizeof count);
  for (std::size_t i = 0; i < servers.size() && i < 63; ++i) {
    unsigned char bytes[4] = {
        static_cast<unsigned char>(servers[i] >> 24), static_cast<unsigned char>(servers[i] >> 16),
        static_cast<unsigned char>(servers[i] >> 8), static_cast<unsigned char>(servers[i])};
    std::memcpy(list.get() + 4 + 4 * i, bytes, 4);
  }
  return list;
}

using DiscoveryServerListTest = ReportTest;

TEST_F(DiscoveryServerListTest, EachServerIsReportedInOrder) {
  ReportDnsServers(nullptr, ServerList(2, {0xC0A80101, 0x0A000035}).get());
  EXPECT_EQ(report(), "DNS server 1 : 192.168.1.1\r\nDNS server 2 : 10.0.0.53\r\n");
}

TEST_F(DiscoveryServerListTest, NoListOrNoServerReportsNothing) {
  auto marked = ServerList(1, {0x0A000035});
  marked[0] = kNoServerListMark;
  ReportDnsServers(nullptr, marked.get());
  ReportDnsServers(nullptr, ServerList(0, {0x0A000035}).get());
  EXPECT_EQ(report(), "");
}

TEST_F(DiscoveryServerListTest, ACountBeyondTheBufferIsReadOnlyAsFarAsItGoes) {
  ReportDnsServers(nullptr,
                   ServerList(0x7FFF0000, std::vector<std::uint32_t>(63, 0x7F000001)).get());
  const std::string last = "DNS server 63 : 127.0.0.1\r\n";
  ASSERT_GE(report().size(), last.size());
  EXPECT_EQ(report().substr(report().size() - last.size()), last);
  EXPECT_EQ(report().find("DNS server 64"), std::string::npos);
}

using DiscoveryResolveAddressTest = ReportTest;

TEST_F(DiscoveryResolveAddressTest, WithoutAListTheAddressIsRecordedSilently) {
  auto marked = ServerList(1, {0x7F000001});
  marked[0] = kNoServerListMark;
  ResolveAddress(nullptr, "192.0.2.77", marked.get());
  ResolveAddress(nullptr, "", marked.get());
  ResolveAddress(nullptr, "192.0.2.78", ServerList(0, {}).get());
  EXPECT_EQ(report(), "");
  EXPECT_EQ(HostCandidateTable.lastIndex, 0);
  EXPECT_STREQ(HostCandidateTable.entries[0].address, "192.0.2.77");
  EXPECT_STREQ(HostCandidateTable.entries[0].hostName, "");
}

TEST_F(DiscoveryResolveAddressTest, AFullTableAsksNoServerAndOverwritesTheLastEntry) {
  for (int i = 1; i <= 5; ++i) {
    AddHostCandidate(("10.0.0." + std::to_string(i)).c_str(), "known.example.test");
  }
  // Had the first server been asked, the second one's contact line would follow.
  ResolveAddress(nullptr, "192.0.2.77", ServerList(2, {0x7F000009, 0x7F000009}).get());
  EXPECT_EQ(report(),
            "Contact DNS server 1 : 127.0.0.9\r\n"
            "Address 10.0.0.1 resolved...\r\nHostname : known.example.test\r\n"
            "Address 10.0.0.2 resolved...\r\nHostname : known.example.test\r\n"
            "Address 10.0.0.3 resolved...\r\nHostname : known.example.test\r\n"
            "Address 10.0.0.4 resolved...\r\nHostname : known.example.test\r\n"
            "Address 192.0.2.77 not resolved\r\n");
}

TEST_F(DiscoveryResolveAddressTest, AStoppedDetectionAsksNoServerAndReportsNoEntry) {
  detectionActive = 0;
  ResolveAddress(nullptr, "192.0.2.77", ServerList(2, {0x7F000009, 0x7F000009}).get());
  EXPECT_EQ(report(), "Contact DNS server 1 : 127.0.0.9\r\n");
  EXPECT_EQ(HostCandidateTable.lastIndex, 0);
  EXPECT_STREQ(HostCandidateTable.entries[0].hostName, "");
}

}  // namespace
