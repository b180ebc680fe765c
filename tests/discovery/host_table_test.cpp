// The host candidate table, its reads for the pages, and the report lines.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/discovery/report_capture.h"
#include "wizard/discovery/host_table.h"
#include "wizard/discovery/report.h"

namespace {

using DiscoveryHostTableTest = ReportTest;

TEST_F(DiscoveryHostTableTest, SevenAddsKeepTheFirstFourAndTheLast) {
  for (const char* address :
       {"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4", "10.0.0.5", "10.0.0.6", "10.0.0.7"}) {
    AddHostCandidate(address, "");
  }
  EXPECT_EQ(HostCandidateTable.lastIndex, 4);
  char address[kAddressRoom];
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ(GetCandidateAddress(i, address), 0);
    EXPECT_EQ(std::string(address), "10.0.0." + std::to_string(i + 1));
  }
  ASSERT_EQ(GetCandidateAddress(4, address), 0);
  EXPECT_STREQ(address, "10.0.0.7");
  ClearHostCandidates();
  EXPECT_EQ(HostCandidateTable.lastIndex, -1);
  EXPECT_STREQ(HostCandidateTable.entries[4].address, "");
}

TEST_F(DiscoveryHostTableTest, ReadsOutsideTheFilledEntriesLeaveTheBufferAlone) {
  char name[kHostNameRoom];
  std::memset(name, '#', sizeof name);
  EXPECT_EQ(GetCandidateHostName(0, name), -1);
  EXPECT_EQ(GetCandidateAddress(0, name), -1);
  AddHostCandidate("192.0.2.77", "host77.example.test");
  AddHostCandidate("192.0.2.78", "");
  for (int index : {-1, 2, 4, 5}) {
    EXPECT_EQ(GetCandidateHostName(index, name), -1) << index;
    EXPECT_EQ(FormatCandidateLine(index, name, sizeof name), -1) << index;
  }
  EXPECT_EQ(name[0], '#');
  ASSERT_EQ(GetCandidateHostName(0, name), 0);
  EXPECT_STREQ(name, "host77.example.test");
  ASSERT_EQ(GetCandidateHostName(1, name), 0);
  EXPECT_STREQ(name, "192.0.2.78") << "an entry without name gives its address";
}

TEST_F(DiscoveryHostTableTest, ListLinesShowNameAndAddressAndCutTheNameToFit) {
  const std::string longName(kHostNameRoom - 1, 'n');
  AddHostCandidate("192.0.2.77", "host77.example.test");
  AddHostCandidate("192.0.2.78", "");
  AddHostCandidate("192.168.100.200", longName.c_str());
  char line[kHostNameRoom + 1];
  line[kHostNameRoom] = '#';
  ASSERT_EQ(FormatCandidateLine(0, line, kHostNameRoom), 0);
  EXPECT_STREQ(line, "host77.example.test (192.0.2.77)");
  ASSERT_EQ(FormatCandidateLine(1, line, kHostNameRoom), 0);
  EXPECT_STREQ(line, " (192.0.2.78)");
  ASSERT_EQ(FormatCandidateLine(2, line, kHostNameRoom), 0);
  EXPECT_EQ(std::string(line), std::string(255 - 18, 'n') + " (192.168.100.200)");
  EXPECT_EQ(line[kHostNameRoom], '#');
  ASSERT_EQ(FormatCandidateLine(0, line, 8), 0);
  EXPECT_STREQ(line, " (192.0");
}

TEST_F(DiscoveryHostTableTest, OverlongTextsAreCutToTheirFields) {
  const std::string address(40, '1');
  const std::string name(300, 'n');
  AddHostCandidate(address.c_str(), name.c_str());
  EXPECT_EQ(std::string(HostCandidateTable.entries[0].address),
            address.substr(0, kAddressRoom - 1));
  EXPECT_EQ(std::string(HostCandidateTable.entries[0].hostName), name.substr(0, kHostNameRoom - 1));
}

TEST_F(DiscoveryHostTableTest, TableReportListsEveryEntryWhileDetectionRuns) {
  ReportHostCandidates(nullptr);
  detectionActive = 0;
  ReportHostCandidates(nullptr);
  EXPECT_EQ(report(), "No IP address found\r\nNo IP address found\r\n");

  report().clear();
  AddHostCandidate("192.0.2.77", "host77.example.test");
  AddHostCandidate("192.0.2.78", "");
  ReportHostCandidates(nullptr);
  EXPECT_EQ(report(), "") << "a stopped detection reports no entries";
  detectionActive = 1;
  char page = 'p';
  ReportHostCandidates(&page);
  EXPECT_EQ(report(),
            "Address 192.0.2.77 resolved...\r\nHostname : host77.example.test\r\n"
            "Address 192.0.2.78 not resolved\r\n");
  EXPECT_EQ(lastPage(), &page);
}

TEST_F(DiscoveryHostTableTest, LongReportLinesAreCutAndKeepTheirLineEnd) {
  const std::string name(kHostNameRoom - 1, 'n');
  AppendReportLine(nullptr, "Address %s resolved...\r\nHostname : %s\r\n", "192.0.2.77",
                   name.c_str());
  ASSERT_EQ(report().size(), kReportLineRoom - 1);
  const std::string head = "Address 192.0.2.77 resolved...\r\nHostname : nnn";
  EXPECT_EQ(report().compare(0, head.size(), head), 0);
  EXPECT_EQ(report().substr(report().size() - 3), "n\r\n");
}

}  // namespace
