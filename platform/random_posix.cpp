#include "platform/random.h"

#include <errno.h>
#include <sys/random.h>

namespace {

// getrandom returns at most 33554431 bytes a call and may be interrupted by a
// signal; a few calls are plenty for any request we make.
constexpr int kMaxCalls = 16;

}  // namespace

bool FillRandomBytes(void* buffer, std::size_t size) {
  auto* next = static_cast<unsigned char*>(buffer);
  for (int call = 0; call < kMaxCalls && size > 0; ++call) {
    ssize_t got = getrandom(next, size, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    next += got;
    size -= static_cast<std::size_t>(got);
  }
  return size == 0;
}
