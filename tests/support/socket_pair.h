// A connected pair of loopback TCP sockets, for tests of code that reads or
// writes one end.
#pragma once
#include <string>

#include "platform/net.h"
#include "tests/support/loopback.h"

struct SocketPair {
  Socket near = kBadSocket;  // the end the code under test uses
  Socket far = kBadSocket;   // the test's end

  SocketPair() {
    Socket listener = NetOpenTcp();
    NetBindLoopback(listener, 0);
    NetListen(listener, 1);
    near = ConnectLoopback(NetLocalPort(listener));
    PeerAddress peer{};
    far = NetAccept(listener, &peer);
    NetClose(listener);
  }
  ~SocketPair() {
    if (IsOpenSocket(near)) NetClose(near);
    if (IsOpenSocket(far)) NetClose(far);
  }
  SocketPair(const SocketPair&) = delete;
  SocketPair& operator=(const SocketPair&) = delete;

  void Send(const std::string& bytes) const {
    NetSend(far, bytes.data(), static_cast<int>(bytes.size()));
  }

  // What arrived at the test's end within the wait, after the last byte.
  std::string Received(int waitMs = 200) const {
    std::string bytes;
    char chunk[4096];
    while (NetWaitReadable(far, waitMs) == 1) {
      int got = NetReceive(far, chunk, sizeof chunk);
      if (got <= 0) break;
      bytes.append(chunk, static_cast<std::size_t>(got));
    }
    return bytes;
  }
};
