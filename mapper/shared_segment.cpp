#include "mapper/shared_segment.h"

#include <atomic>

#include "platform/shared_bytes.h"
#include "seghub/seghub.h"

namespace {

constexpr int kRunningOffset = 4;
constexpr int kStopRequestOffset = 5;
constexpr int kStatusUpdatedOffset = 7;

// The bytes are shared with other processes, so they are read and written
// with atomic byte operations, never cached. A segment that its owner cut
// short holds no stop request; a -stop gives it back its size.
std::atomic<unsigned char*> segment{nullptr};
std::atomic<bool> localStop{false};

void SetByte(int offset, unsigned char value) {
  unsigned char* bytes = segment.load();
  if (bytes != nullptr) StoreSharedByte(bytes + offset, value);
}

}  // namespace

bool AttachSharedSegment() {
  segment = static_cast<unsigned char*>(AllocSharedMemoryMap());
  return segment.load() != nullptr;
}

void DetachSharedSegment() {
  segment = nullptr;
  FreeSharedMemoryMap();
}

void AnnounceRunning() {
  SetByte(kRunningOffset, 1);
  SetByte(kStopRequestOffset, 0);
  SetByte(kStatusUpdatedOffset, 1);
}

void WithdrawRunning() {
  SetByte(kStopRequestOffset, 0);
  SetByte(kRunningOffset, 0);
  SetByte(kStatusUpdatedOffset, 1);
}

bool SendStopRequest() {
  if (!AttachSharedSegment()) return false;
  SetByte(kStopRequestOffset, 1);
  DetachSharedSegment();
  return true;
}

bool StopRequested() {
  if (localStop.load()) return true;
  unsigned char* bytes = segment.load();
  unsigned char value = 0;
  return bytes != nullptr && LoadSharedByte(bytes + kStopRequestOffset, &value) && value != 0;
}

void RequestLocalStop() {
  localStop = true;
}

void ClearLocalStop() {
  localStop = false;
}
