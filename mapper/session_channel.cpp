#include "mapper/session_channel.h"

#include <algorithm>

#include "mapper/timing.h"
#include "mapper/worker_slots.h"

SessionChannel::SessionChannel(const WorkerSlot& slot, Socket s)
    : slot_(slot), socket_(s), usable_(NetSetNonBlocking(s) == 0) {}

bool SessionChannel::MayTransfer() const {
  return usable_ && SessionActive(slot_) && !(HasDeadline() && DeadlinePassed());
}

bool SessionChannel::AwaitReady(int (*wait)(Socket, int)) const {
  long long waitMs = Timing().waitMs;
  if (HasDeadline()) {
    using std::chrono::milliseconds;
    waitMs = std::min<long long>(
        waitMs, std::chrono::duration_cast<milliseconds>(deadline_ - Clock::now()).count());
    if (waitMs <= 0) return false;
  }
  return wait(socket_, static_cast<int>(waitMs)) >= 0 && MayTransfer();
}

int SessionChannel::ReadByte(unsigned char* byte) {
  while (MayTransfer()) {
    unsigned char received;
    int result = NetReceive(socket_, &received, 1);
    if (result == 1) *byte = received;
    if (result >= 0) return result;
    if (!NetWouldBlock() || !AwaitReady(NetWaitReadable)) break;
  }
  return -1;
}

bool SessionChannel::Write(const void* data, std::size_t size) {
  auto* next = static_cast<const char*>(data);
  std::size_t left = size;
  // A socket that does not block may take part of the bytes.
  while (left > 0) {
    if (!MayTransfer()) return false;
    int sent = NetSend(socket_, next, static_cast<int>(left));
    if (sent > 0) {
      next += sent;
      left -= static_cast<std::size_t>(sent);
    } else if (sent == 0 || !NetWouldBlock() || !AwaitReady(NetWaitWritable)) {
      return false;
    }
  }
  return true;
}
