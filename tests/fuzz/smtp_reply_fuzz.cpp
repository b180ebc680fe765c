// Arbitrary bytes as a mail server's replies, handed to the reader from
// memory, after which they end: the reader takes reply after reply until it
// fails, and never keeps more than its buffer or takes more than was given.
// Every other reply is read as one to EHLO, its extensions noted.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "wizard/mail/smtp.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

struct Bytes {
  const std::uint8_t* data;
  std::size_t left;
};

int Give(void* context, char* buffer, int room) {
  auto* bytes = static_cast<Bytes*>(context);
  std::size_t count = std::min(bytes->left, static_cast<std::size_t>(room));
  std::memcpy(buffer, bytes->data, count);
  bytes->data += count;
  bytes->left -= count;
  return static_cast<int>(count);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Bytes bytes{data, size};
  SmtpSession session;
  std::size_t taken = 0;
  for (std::size_t replies = 0; replies <= size; ++replies) {
    SmtpExtensions extensions;
    int got = SmtpReadReplyFrom(session, Give, &bytes, replies % 2 == 0 ? &extensions : nullptr);
    if (got < 0) break;
    Check(got > 0);
    taken += static_cast<std::size_t>(got);
    Check(taken <= size);
    Check(std::memchr(session.reply, '\0', sizeof session.reply) != nullptr);
  }
  return 0;
}
