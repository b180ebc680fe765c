#include "platform/shared_bytes.h"

// A view of a file mapping keeps its size while it is mapped.

bool LoadSharedByte(const unsigned char* byte, unsigned char* value) {
  *value = __atomic_load_n(byte, __ATOMIC_SEQ_CST);
  return true;
}

bool StoreSharedByte(unsigned char* byte, unsigned char value) {
  __atomic_store_n(byte, value, __ATOMIC_SEQ_CST);
  return true;
}
