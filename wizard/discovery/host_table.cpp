#include "wizard/discovery/host_table.h"

#include <cstdio>
#include <cstring>

HostCandidateTableRecord HostCandidateTable = {-1, {}};
std::atomic<int> detectionActive{0};

namespace {

// Copies at most room - 1 bytes of text and always terminates. Never reads
// past sourceRoom, so a field being rewritten by the detection thread still
// gives a terminated text to a reader on the page's thread.
void CopyText(char* out, std::size_t room, const char* text, std::size_t sourceRoom) {
  std::size_t length = 0;
  while (length + 1 < room && length + 1 < sourceRoom && text[length] != '\0') ++length;
  std::memcpy(out, text, length);
  out[length] = '\0';
}

const HostCandidate* FilledEntry(int index) {
  int last = HostCandidateTable.lastIndex;
  if (index < 0 || index > last || last >= kHostCandidateCount) return nullptr;
  return &HostCandidateTable.entries[index];
}

}  // namespace

void ClearHostCandidates() {
  HostCandidateTable.lastIndex = -1;
  std::memset(HostCandidateTable.entries, 0, sizeof HostCandidateTable.entries);
}

void AddHostCandidate(const char* address, const char* hostName) {
  if (HostCandidateTable.lastIndex < kHostCandidateCount - 1) ++HostCandidateTable.lastIndex;
  HostCandidate& entry = HostCandidateTable.entries[HostCandidateTable.lastIndex];
  CopyText(entry.address, sizeof entry.address, address, kAddressRoom);
  CopyText(entry.hostName, sizeof entry.hostName, hostName, kHostNameRoom);
}

int GetCandidateHostName(int index, char* out) {
  const HostCandidate* entry = FilledEntry(index);
  if (entry == nullptr) return -1;
  if (entry->hostName[0] != '\0') {
    CopyText(out, kHostNameRoom, entry->hostName, sizeof entry->hostName);
  } else {
    CopyText(out, kHostNameRoom, entry->address, sizeof entry->address);
  }
  return 0;
}

int GetCandidateAddress(int index, char* out) {
  const HostCandidate* entry = FilledEntry(index);
  if (entry == nullptr) return -1;
  CopyText(out, kAddressRoom, entry->address, sizeof entry->address);
  return 0;
}

int FormatCandidateLine(int index, char* line, std::size_t size) {
  const HostCandidate* entry = FilledEntry(index);
  if (entry == nullptr || size == 0) return -1;
  char address[kAddressRoom];
  char hostName[kHostNameRoom];
  CopyText(address, sizeof address, entry->address, sizeof entry->address);
  CopyText(hostName, sizeof hostName, entry->hostName, sizeof entry->hostName);
  // A line too long for the list keeps the address whole and cuts the name.
  std::size_t tail = std::strlen(address) + 3;  // " (" and ")"
  int nameRoom = size > tail ? static_cast<int>(size - 1 - tail) : 0;
  std::snprintf(line, size, "%.*s (%s)", nameRoom, hostName, address);
  return 0;
}

void ReportHostCandidates(ReportPage page) {
  int last = HostCandidateTable.lastIndex;
  if (last < 0) {
    AppendReportLine(page, "No IP address found\r\n");
    return;
  }
  if (detectionActive.load() == 0) return;
  for (int i = 0; i <= last && i < kHostCandidateCount; ++i) {
    const HostCandidate& entry = HostCandidateTable.entries[i];
    if (entry.hostName[0] != '\0') {
      AppendReportLine(page, "Address %s resolved...\r\nHostname : %s\r\n", entry.address,
                       entry.hostName);
    } else {
      AppendReportLine(page, "Address %s not resolved\r\n", entry.address);
    }
  }
}
