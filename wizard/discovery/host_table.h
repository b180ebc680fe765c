// The table of host candidates found by a detection run: at most five
// (address, host name) pairs, read by the pages and the link message.
#pragma once
#include <atomic>
#include <cstddef>

#include "wizard/discovery/report.h"

constexpr int kHostCandidateCount = 5;
constexpr std::size_t kAddressRoom = 32;
constexpr std::size_t kHostNameRoom = 256;

struct HostCandidate {
  char address[kAddressRoom];
  char hostName[kHostNameRoom];
};

struct HostCandidateTableRecord {
  int lastIndex;  // -1 when empty
  HostCandidate entries[kHostCandidateCount];
};

// The one table of the process. The detection thread is its only writer
// while it runs, and reads it directly; every other thread reads through the
// functions below, which see an entry whole or not at all.
extern HostCandidateTableRecord HostCandidateTable;

// 1 while a detection runs; cleared by the page to cancel, and by the
// detection thread when it ends.
extern std::atomic<int> detectionActive;

void ClearHostCandidates();
void AddHostCandidate(const char* address, const char* hostName);

// Copies entry index into out: 0, or -1 without touching out when the table
// is empty or index is beyond lastIndex.
int GetHostCandidate(int index, HostCandidate* out);
// Copies entry index's host name (its address when the name is empty) into
// out (kHostNameRoom bytes); 0, or -1 without touching out when the table is
// empty or index is beyond lastIndex.
int GetCandidateHostName(int index, char* out);
// Copies entry index's address into out (kAddressRoom bytes); 0 or -1 as above.
int GetCandidateAddress(int index, char* out);

// The line the choice page's list shows for entry index: "%s (%s)" with the
// host name and the address, cut to fit size. 0, or -1 as above.
int FormatCandidateLine(int index, char* line, std::size_t size);

// Appends the whole table to the report of page.
void ReportHostCandidates(ReportPage page);
