// Feeds arbitrary bytes as the front end's side through the request-line
// reader and the request classification, as the worker
// reads them; the first byte picks the reader's buffer size. Also runs the
// same bytes through the login line that watches for prompts.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "mapper/login.h"
#include "mapper/requests.h"
#include "mapper/session.h"
#include "mapper/telnet/telnet_stream.h"
#include "tests/fuzz/memory_channel.h"

namespace {

void ReadAllLines(ByteChannel& frontEnd, int size) {
  std::vector<char> buffer(static_cast<std::size_t>(size));
  for (;;) {
    int length = ReadRequestLineFrom(frontEnd, buffer.data(), size);
    if (length < 0) return;
    if (static_cast<std::size_t>(length) != std::strlen(buffer.data()) &&
        std::memchr(buffer.data(), '\0', static_cast<std::size_t>(length)) == nullptr) {
      __builtin_trap();  // the length must match what was stored
    }
    ClassifyRequest(buffer.data());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  int bufferSize = data[0] == 0 ? kLineRoom : 1 + data[0] * kLineRoom / 256;
  MemoryChannel frontEnd(data + 1, size - 1);
  ReadAllLines(frontEnd, bufferSize);

  LoginLine line;
  for (std::size_t i = 1; i < size; ++i) {
    if (data[i] == '\r') {
      line.Clear();
    } else if (data[i] != '\0') {
      line.Append(data[i]);
    }
  }
  if (std::strlen(line.Text()) > LoginLine::kRoom) __builtin_trap();
  line.Contains("login:");
  return 0;
}
