#include "wizard/core/link_message.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "text/ascii.h"
#include "wizard/core/wizard_session.h"
#include "wizard/discovery/host_table.h"
#include "wizard/resources/resource.h"

namespace {

// The link prefix and the address note are read into this many bytes each.
constexpr std::size_t kLinkTextRoom = 15;
// The longest element: a link to a typed host name that fills its session text.
constexpr std::size_t kElementRoom = kLinkTextRoom + kSessionTextRoom + 2;

// The text grows by exactly one element at a time; it stays terminated.
struct GrowingText {
  char* text = nullptr;
  std::size_t length = 0;
};

bool Append(GrowingText& growing, const char* element) {
  std::size_t added = std::strlen(element);
  auto* grown = static_cast<char*>(std::realloc(growing.text, growing.length + added + 1));
  if (grown == nullptr) return false;
  std::memcpy(grown + growing.length, element, added + 1);
  growing.text = grown;
  growing.length += added;
  return true;
}

void LoadLinkText(TextLoader loadText, int id, char* text) {
  text[0] = '\0';
  loadText(id, text, kLinkTextRoom);
}

// A host name that was resolved is followed by the address it stands for;
// an entry without a name is linked by its address.
bool AppendCandidate(GrowingText& growing, const HostCandidate& candidate, const char* prefix,
                     TextLoader loadText) {
  const char* host = candidate.hostName[0] != '\0' ? candidate.hostName : candidate.address;
  char element[kElementRoom];
  std::snprintf(element, sizeof element, "%s%s\r\n", prefix, host);
  if (!Append(growing, element)) return false;
  if (!IsAsciiLetter(host[0])) return true;
  char note[kLinkTextRoom];
  LoadLinkText(loadText, IDS_ADDRESS_NOTE, note);
  std::snprintf(element, sizeof element, "%s%s )\r\n", note, candidate.address);
  return Append(growing, element);
}

bool AppendLinks(GrowingText& growing, const char* typedHostName, TextLoader loadText) {
  char prefix[kLinkTextRoom];
  LoadLinkText(loadText, IDS_LINK_PREFIX, prefix);
  char element[kElementRoom];
  if (typedHostName != nullptr && typedHostName[0] != '\0') {
    std::snprintf(element, sizeof element, "%s%s\r\n", prefix, typedHostName);
    if (!Append(growing, element)) return false;
  }
  // Each entry is taken whole: a detection may be refilling the table.
  HostCandidate candidate;
  for (int index = 0; index < kHostCandidateCount && GetHostCandidate(index, &candidate) == 0;
       ++index) {
    if (!AppendCandidate(growing, candidate, prefix, loadText)) return false;
  }
  return true;
}

}  // namespace

char* ComposeLinkMessage(const char* message, const char* typedHostName, TextLoader loadText) {
  GrowingText growing;
  if (Append(growing, message != nullptr ? message : "") &&
      AppendLinks(growing, typedHostName, loadText)) {
    return growing.text;
  }
  std::free(growing.text);
  return nullptr;
}
