#include "platform/wipe.h"

#include <string.h>

void WipeBytes(void* data, std::size_t size) {
  explicit_bzero(data, size);
}
