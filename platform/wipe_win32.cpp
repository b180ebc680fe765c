#include "platform/wipe.h"

#include <windows.h>

void WipeBytes(void* data, std::size_t size) {
  SecureZeroMemory(data, size);
}
