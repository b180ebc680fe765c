// floor_relay LISTEN_PORT SERVER_PORT: the least a forwarder of the mapper's
// design can spend, for scripts/measure-forwarding.sh to set the mapper
// beside. It accepts one front end on loopback, connects to the server on
// loopback and forwards what the server sends until either side closes: per
// byte one readiness wait of up to a second, a one-byte receive and a
// one-byte send, and a 10 ms pause after each line, as the mapper's reader.
#include <cstdio>
#include <cstdlib>

#include "platform/net.h"
#include "platform/threads.h"

namespace {

constexpr int kWaitMs = 1000;
constexpr int kLineGapMs = 10;
// A line is complete at LF or when it fills the reader's 2048-byte room.
constexpr int kLineRoom = 2048;

int Fail(const char* what) {
  std::fprintf(stderr, "floor_relay: %s (error %d)\n", what, NetLastError());
  return 1;
}

void Forward(Socket server, Socket client) {
  int lineLength = 0;
  for (;;) {
    int ready = NetWaitReadable(server, kWaitMs);
    if (ready == 0) continue;
    unsigned char byte = 0;
    if (ready < 0 || NetReceive(server, &byte, 1) != 1) return;
    if (NetSend(client, &byte, 1) != 1) return;
    if (byte == '\n' || ++lineLength == kLineRoom) {
      lineLength = 0;
      SleepMilliseconds(kLineGapMs);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: floor_relay LISTEN_PORT SERVER_PORT\n");
    return 2;
  }
  int major = 0, minor = 0;
  if (NetStartup(1, 1, &major, &minor) != 0) return Fail("no sockets");
  ScopedSocket listener(NetOpenTcp());
  if (!listener.IsOpen() || NetSetReuseAddress(listener.Get()) != 0 ||
      NetBindLoopback(listener.Get(), std::atoi(argv[1])) != 0 ||
      NetListen(listener.Get(), 1) != 0) {
    return Fail("cannot listen");
  }
  PeerAddress peer{};
  ScopedSocket client(NetAccept(listener.Get(), &peer));
  if (!client.IsOpen()) return Fail("accept failed");
  ScopedSocket server(NetOpenTcp());
  if (!server.IsOpen() || NetConnectLoopback(server.Get(), std::atoi(argv[2])) != 0) {
    return Fail("cannot reach the server");
  }
  Forward(server.Get(), client.Get());
  NetCleanup();
  return 0;
}
