// Feeds the input as a telnet server's output through a socket into the loop
// that a session runs during login: read a byte, hand it to TelnetHandleByte,
// until the server's end. Native only: the pair is a POSIX socket pair.
#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <thread>

#include "mapper/telnet/negotiation.h"
#include "mapper/telnet/telnet_stream.h"

namespace {

// No request draws more than four times its own length in reply (DO NAWS:
// three bytes in, twelve out); more means the client answered something that
// was never asked.
constexpr std::size_t kReplyBytesPerInputByte = 4;

// The server's end: sends the input, ends its sending side and reads the
// replies until the mapper's end closes. It never blocks in either direction,
// so the two ends cannot wait for each other. The number of reply bytes.
std::size_t PlayServer(int fd, const std::uint8_t* data, std::size_t size) {
  std::size_t sent = 0;
  std::size_t received = 0;
  bool sending = true;
  for (;;) {
    if (sending && sent == size) {
      shutdown(fd, SHUT_WR);
      sending = false;
    }
    pollfd entry{fd, static_cast<short>(POLLIN | (sending ? POLLOUT : 0)), 0};
    if (poll(&entry, 1, -1) < 0) continue;
    if (sending && (entry.revents & POLLOUT) != 0) {
      ssize_t put = send(fd, data + sent, size - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
      if (put > 0) sent += static_cast<std::size_t>(put);
      if (put < 0 && errno != EAGAIN && errno != EINTR) sending = false;
    }
    if ((entry.revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
      char chunk[4096];
      ssize_t got = recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
      if (got == 0) break;
      if (got > 0) received += static_cast<std::size_t>(got);
      if (got < 0 && errno != EAGAIN && errno != EINTR) break;
    }
  }
  return received;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  int major, minor;
  NetStartup(1, 1, &major, &minor);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) std::abort();
  // Every input is the first session of a fresh process.
  ResetEnvironChoiceForTests();
  std::size_t replied = 0;
  std::thread server([&] { replied = PlayServer(ends[1], data, size); });

  Socket mapper = ends[0];
  unsigned char byte = 0;
  while (TelnetReadByte(mapper, &byte) == 1) TelnetHandleByte(byte, mapper);
  close(ends[0]);
  server.join();
  close(ends[1]);

  if (replied > kReplyBytesPerInputByte * size) std::abort();
  return 0;
}
