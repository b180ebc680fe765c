// Arbitrary bytes as a DNS server's answer: the first byte says where the
// answer section starts (the length of the query that was sent), the rest is
// the datagram. The parser must stay inside the datagram, and give either no
// name or a host name fit for a link.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "wizard/discovery/dns_message.h"
#include "wizard/discovery/dns_query.h"
#include "wizard/discovery/host_table.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size - 1 > kDnsAnswerRoom) return 0;
  int queryLength = data[0];
  char name[kHostNameRoom];
  std::memset(name, 'x', sizeof name);
  int found = ParsePtrAnswer(data + 1, name, static_cast<int>(size - 1), queryLength);
  const char* end = static_cast<const char*>(std::memchr(name, '\0', sizeof name));
  Check(end != nullptr);
  std::size_t length = static_cast<std::size_t>(end - name);
  Check(found == 1 ? IsValidHostName(name, length) : length == 0);
  return 0;
}
