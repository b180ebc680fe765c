// A connection of a session that never waits without a bound: each wait
// lasts at most one pass and is followed by a look at the session, so a
// session ended from outside lets go of its connections within about a pass
// whatever its peers do. On Windows nothing else would wake a blocked call:
// shutting a socket down wakes no other thread there.
#pragma once
#include <chrono>
#include <cstddef>

#include "mapper/telnet/byte_channel.h"
#include "platform/net.h"

struct WorkerSlot;

class SessionChannel final : public ByteChannel {
 public:
  using Clock = std::chrono::steady_clock;

  SessionChannel(const WorkerSlot& slot, Socket s) : slot_(slot), socket_(s) {}

  // Every later wait also ends at the deadline.
  void SetDeadline(Clock::time_point deadline) { deadline_ = deadline; }
  bool DeadlinePassed() const { return Clock::now() >= deadline_; }

  int ReadByte(unsigned char* byte) override;
  bool Write(const void* data, std::size_t size) override;

 private:
  // 1 once the socket is ready; -1 when the wait failed, the session ended
  // or the deadline passed.
  int WaitUntilReady(int (*wait)(Socket, int));

  const WorkerSlot& slot_;
  Socket socket_;
  Clock::time_point deadline_ = Clock::time_point::max();
};
