// A connected pair of Unix stream sockets for the fuzz targets, which run
// natively only. Loopback TCP pairs would leave every run's port in
// TIME_WAIT and use up the ephemeral ports within minutes.
#pragma once
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/net.h"

struct UnixSocketPair {
  Socket near = kBadSocket;  // the end the code under test uses
  Socket far = kBadSocket;   // the fuzzer's end

  UnixSocketPair() {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) std::abort();
    near = ends[0];
    far = ends[1];
  }
  ~UnixSocketPair() {
    close(static_cast<int>(near));
    close(static_cast<int>(far));
  }
  UnixSocketPair(const UnixSocketPair&) = delete;
  UnixSocketPair& operator=(const UnixSocketPair&) = delete;

  // Writes all the bytes, then ends the fuzzer's sending side.
  void SendAndEnd(const std::string& bytes) const {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      ssize_t n = send(static_cast<int>(far), bytes.data() + sent, bytes.size() - sent, 0);
      if (n <= 0) std::abort();
      sent += static_cast<std::size_t>(n);
    }
    shutdown(static_cast<int>(far), SHUT_WR);
  }
};
