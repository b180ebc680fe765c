#include "wizard/discovery/host_table.h"

#include <cstdio>
#include <cstring>
#include <mutex>

HostCandidateTableRecord HostCandidateTable = {-1, {}};
std::atomic<int> detectionActive{0};

namespace {

// Held while the writer changes the table and while a reader on another
// thread copies an entry out of it, and around nothing else.
std::mutex tableLock;

// Copies at most room - 1 bytes of text and always terminates, never
// reading past sourceRoom.
void CopyText(char* out, std::size_t room, const char* text, std::size_t sourceRoom) {
  std::size_t length = 0;
  while (length + 1 < room && length + 1 < sourceRoom && text[length] != '\0') ++length;
  std::memcpy(out, text, length);
  out[length] = '\0';
}

}  // namespace

void ClearHostCandidates() {
  std::lock_guard<std::mutex> hold(tableLock);
  HostCandidateTable.lastIndex = -1;
  std::memset(HostCandidateTable.entries, 0, sizeof HostCandidateTable.entries);
}

void AddHostCandidate(const char* address, const char* hostName) {
  std::lock_guard<std::mutex> hold(tableLock);
  if (HostCandidateTable.lastIndex < kHostCandidateCount - 1) ++HostCandidateTable.lastIndex;
  HostCandidate& entry = HostCandidateTable.entries[HostCandidateTable.lastIndex];
  CopyText(entry.address, sizeof entry.address, address, kAddressRoom);
  CopyText(entry.hostName, sizeof entry.hostName, hostName, kHostNameRoom);
}

int GetHostCandidate(int index, HostCandidate* out) {
  std::lock_guard<std::mutex> hold(tableLock);
  int last = HostCandidateTable.lastIndex;
  if (index < 0 || index > last || last >= kHostCandidateCount) return -1;
  *out = HostCandidateTable.entries[index];
  return 0;
}

int GetCandidateHostName(int index, char* out) {
  HostCandidate entry;
  if (GetHostCandidate(index, &entry) != 0) return -1;
  const char* shown = entry.hostName[0] != '\0' ? entry.hostName : entry.address;
  CopyText(out, kHostNameRoom, shown, kHostNameRoom);
  return 0;
}

int GetCandidateAddress(int index, char* out) {
  HostCandidate entry;
  if (GetHostCandidate(index, &entry) != 0) return -1;
  CopyText(out, kAddressRoom, entry.address, sizeof entry.address);
  return 0;
}

int FormatCandidateLine(int index, char* line, std::size_t size) {
  HostCandidate entry;
  if (size == 0 || GetHostCandidate(index, &entry) != 0) return -1;
  // A line too long for the list keeps the address whole and cuts the name.
  std::size_t tail = std::strlen(entry.address) + 3;  // " (" and ")"
  int nameRoom = size > tail ? static_cast<int>(size - 1 - tail) : 0;
  std::snprintf(line, size, "%.*s (%s)", nameRoom, entry.hostName, entry.address);
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
