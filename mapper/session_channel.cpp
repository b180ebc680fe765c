#include "mapper/session_channel.h"

#include <algorithm>

#include "mapper/timing.h"
#include "mapper/worker_slots.h"

int SessionChannel::WaitUntilReady(int (*wait)(Socket, int)) {
  using std::chrono::milliseconds;
  for (;;) {
    if (!SessionActive(slot_)) return -1;
    auto left = std::chrono::duration_cast<milliseconds>(deadline_ - Clock::now()).count();
    if (left <= 0) return -1;
    int ready = wait(socket_, static_cast<int>(std::min<long long>(Timing().waitMs, left)));
    if (ready != 0) return ready;
  }
}

int SessionChannel::ReadByte(unsigned char* byte) {
  if (WaitUntilReady(NetWaitReadable) != 1) return -1;
  return SocketChannel(socket_).ReadByte(byte);
}

bool SessionChannel::Write(const void* data, std::size_t size) {
  if (WaitUntilReady(NetWaitWritable) != 1) return false;
  return SocketChannel(socket_).Write(data, size);
}
