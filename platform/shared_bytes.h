// Single bytes of memory shared with other processes, which another process
// may take away while they are mapped (a POSIX shared memory object cut short
// by its owner). A byte that is gone is reported, never a crash.
#pragma once

// Both are sequentially consistent; false when the byte is no longer there.
bool LoadSharedByte(const unsigned char* byte, unsigned char* value);
bool StoreSharedByte(unsigned char* byte, unsigned char value);
