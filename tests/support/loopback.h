// Front-end connections to a server on loopback, for tests.
#pragma once
#include <chrono>

#include "platform/net.h"

// A port that was free a moment ago.
inline int FreeLoopbackPort() {
  Socket probe = NetOpenTcp();
  NetBindLoopback(probe, 0);
  int port = NetLocalPort(probe);
  NetClose(probe);
  return port;
}

inline Socket ConnectLoopback(int port) {
  Socket s = NetOpenTcp();
  if (NetConnectLoopback(s, port) == 0) return s;
  NetClose(s);
  return kBadSocket;
}

// True when the peer closed the connection within the time given.
inline bool PeerClosesWithin(Socket s, int milliseconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  char byte;
  while (std::chrono::steady_clock::now() < deadline) {
    if (NetWaitReadable(s, 50) != 1) continue;
    if (NetReceive(s, &byte, 1) <= 0) return true;
  }
  return false;
}
