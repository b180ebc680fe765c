// A connection of a session that never waits without a bound: each wait
// lasts at most one pass and is followed by a look at the session, so a
// session ended from outside lets go of its connections within about a pass
// whatever its peers do. On Windows nothing else would wake a blocked call:
// shutting a socket down wakes no other thread there.
//
// The socket does not block: a byte costs one receive or one send while the
// peer keeps up, and only a transfer that would have to wait waits.
#pragma once
#include <chrono>
#include <cstddef>

#include "mapper/telnet/byte_channel.h"
#include "platform/net.h"

struct WorkerSlot;

class SessionChannel final : public ByteChannel {
 public:
  using Clock = std::chrono::steady_clock;

  // Makes the socket non-blocking; the channel fails every transfer when it
  // cannot.
  SessionChannel(const WorkerSlot& slot, Socket s);

  // Every later transfer and wait also ends at the deadline.
  void SetDeadline(Clock::time_point deadline) { deadline_ = deadline; }
  bool DeadlinePassed() const { return Clock::now() >= deadline_; }

  int ReadByte(unsigned char* byte) override;
  bool Write(const void* data, std::size_t size) override;

 private:
  bool HasDeadline() const { return deadline_ != Clock::time_point::max(); }
  // False once the session has ended or the deadline has passed. A channel
  // with a deadline reads the clock here: a peer that never lets it wait
  // must still meet the deadline.
  bool MayTransfer() const;
  // After a transfer that would have blocked: waits until the socket is
  // ready or one pass ends; false when the wait failed or the transfer may
  // not go on.
  bool AwaitReady(int (*wait)(Socket, int)) const;

  const WorkerSlot& slot_;
  Socket socket_;
  bool usable_;
  Clock::time_point deadline_ = Clock::time_point::max();
};
