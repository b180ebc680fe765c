// Feeds the input as a telnet server's output into the loop that a session
// runs during login: read a byte, hand it to the negotiator, until the
// server's end; the replies are counted.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "mapper/telnet/negotiation.h"
#include "tests/fuzz/memory_channel.h"

namespace {

// No request draws more than four times its own length in reply (DO NAWS:
// three bytes in, twelve out); more means the client answered something that
// was never asked.
constexpr std::size_t kReplyBytesPerInputByte = 4;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Every input is the first session of a fresh process.
  ResetEnvironChoiceForTests();
  MemoryChannel server(data, size);
  unsigned char byte = 0;
  while (server.ReadByte(&byte) == 1) TelnetHandleByteFrom(byte, server);
  if (server.Written() > kReplyBytesPerInputByte * size) std::abort();
  return 0;
}
