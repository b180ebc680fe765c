#include "platform/net.h"

#include <winsock2.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform/net_ipv4.h"

namespace {

SOCKET Handle(Socket s) {
  return static_cast<SOCKET>(s);
}

int Bind(Socket s, u_long hostOrderAddress, int port) {
  sockaddr_in address = Ipv4SocketAddress(htonl(hostOrderAddress), port);
  return bind(Handle(s), reinterpret_cast<sockaddr*>(&address), sizeof address);
}

}  // namespace

int NetStartup(int major, int minor, int* grantedMajor, int* grantedMinor) {
  WSADATA data;
  int result = WSAStartup(MAKEWORD(major, minor), &data);
  if (result != 0) return result;
  *grantedMajor = LOBYTE(data.wVersion);
  *grantedMinor = HIBYTE(data.wVersion);
  return 0;
}

void NetCleanup() {
  WSACleanup();
}

int NetLastError() {
  return WSAGetLastError();
}

Socket NetOpenTcp() {
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  return s == INVALID_SOCKET ? kBadSocket : static_cast<Socket>(s);
}

int NetSetReuseAddress(Socket s) {
  int on = 1;
  return setsockopt(Handle(s), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on),
                    sizeof on);
}

int NetBindAnyAddress(Socket s, int port) {
  return Bind(s, INADDR_ANY, port);
}

int NetBindAddress(Socket s, std::uint32_t networkOrderAddress, int port) {
  return Bind(s, ntohl(networkOrderAddress), port);
}

int NetBindLoopback(Socket s, int port) {
  return Bind(s, INADDR_LOOPBACK, port);
}

int NetListen(Socket s, int backlog) {
  return listen(Handle(s), backlog);
}

int NetLocalPort(Socket s) {
  sockaddr_in address{};
  int length = sizeof address;
  if (getsockname(Handle(s), reinterpret_cast<sockaddr*>(&address), &length) != 0) return -1;
  return ntohs(address.sin_port);
}

int NetConnectLoopback(Socket s, int port) {
  sockaddr_in address = Ipv4SocketAddress(htonl(INADDR_LOOPBACK), port);
  return connect(Handle(s), reinterpret_cast<sockaddr*>(&address), sizeof address);
}

namespace {

std::atomic<bool> acceptFailsOnReset{false};
// A test resets its connection right after the connect, but the listener
// may take it first; this long a wait lets the reset arrive whatever the
// scheduling.
constexpr long kResetGraceUs = 200000;

bool PeerResetIt(SOCKET s) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(s, &readable);
  timeval grace{0, kResetGraceUs};
  select(0, &readable, nullptr, nullptr, &grace);
  int error = 0;
  int length = sizeof error;
  return getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == 0 &&
         error != 0;
}

}  // namespace

Socket NetAccept(Socket listener, PeerAddress* peer) {
  sockaddr_in address{};
  int length = sizeof address;
  SOCKET s = accept(Handle(listener), reinterpret_cast<sockaddr*>(&address), &length);
  if (s == INVALID_SOCKET) return kBadSocket;
  // Windows itself fails such an accept; Wine, unless it fails it too,
  // hands the connection over.
  if (acceptFailsOnReset.load() && PeerResetIt(s)) {
    closesocket(s);
    WSASetLastError(WSAECONNRESET);
    return kBadSocket;
  }
  std::memcpy(peer, &address, sizeof *peer);
  return static_cast<Socket>(s);
}

AcceptFailure NetAcceptFailure(int error) {
  switch (error) {
    // Microsoft's accept: a connection its peer reset while it was queued.
    case WSAECONNRESET:
    case WSAECONNABORTED:
    // Wine's for the same connection when it cannot hand it over.
    case WSAENOTCONN:
    case WSAETIMEDOUT:
    case WSAEINTR:
      return AcceptFailure::kConnection;
    case WSAEMFILE:
    case WSAENOBUFS:
      return AcceptFailure::kResources;
    default:
      return AcceptFailure::kOther;
  }
}

void NetAcceptFailsOnResetForTests(bool fails) {
  acceptFailsOnReset = fails;
}

int NetSetResetOnClose(Socket s) {
  linger abortive{1, 0};
  return setsockopt(Handle(s), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abortive),
                    sizeof abortive) == 0
             ? 0
             : -1;
}

int NetWaitReadable(Socket s, int timeoutMs) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(Handle(s), &readable);
  timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  int ready = select(0, &readable, nullptr, nullptr, &wait);
  if (ready == SOCKET_ERROR) return -1;
  return FD_ISSET(Handle(s), &readable) ? 1 : 0;
}

int NetWaitWritable(Socket s, int timeoutMs) {
  fd_set writable;
  FD_ZERO(&writable);
  FD_SET(Handle(s), &writable);
  timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  int ready = select(0, nullptr, &writable, nullptr, &wait);
  if (ready == SOCKET_ERROR) return -1;
  return FD_ISSET(Handle(s), &writable) ? 1 : 0;
}

int NetReceive(Socket s, void* buffer, int size) {
  return recv(Handle(s), static_cast<char*>(buffer), size, 0);
}

int NetSend(Socket s, const void* data, int size) {
  return send(Handle(s), static_cast<const char*>(data), size, 0);
}

int NetSetNonBlocking(Socket s) {
  u_long nonBlocking = 1;
  return ioctlsocket(Handle(s), FIONBIO, &nonBlocking) == 0 ? 0 : -1;
}

bool NetWouldBlock() {
  return WSAGetLastError() == WSAEWOULDBLOCK;
}

void NetShutdown(Socket s) {
  shutdown(Handle(s), SD_BOTH);
}

// Windows already wakes no blocked call at shutdown.
void NetShutdownWakesNoOneForTests(bool) {}

int NetClose(Socket s) {
  return closesocket(Handle(s));
}

void NetFormatAddress(const PeerAddress& peer, char* buffer, std::size_t size) {
  in_addr address{};
  address.s_addr = peer.addressNetworkOrder;
  std::snprintf(buffer, size, "%s", inet_ntoa(address));
}

// The records belong to the calling thread and are read before its next call.
bool NetHostByName(const char* name, std::uint32_t* address) {
  return FirstIpv4(gethostbyname(name), address);
}

bool NetHostByAddress(std::uint32_t address, std::uint32_t* found) {
  return FirstIpv4(gethostbyaddr(reinterpret_cast<const char*>(&address), 4, AF_INET), found);
}

std::uint32_t NetParseDotted(const char* text) {
  return inet_addr(text);
}

bool NetServicePort(const char* service, std::uint16_t* port) {
  const servent* found = getservbyname(service, "tcp");
  if (found == nullptr) return false;
  *port = ntohs(static_cast<std::uint16_t>(found->s_port));
  return true;
}

int NetConnect(Socket s, std::uint32_t address, std::uint16_t port) {
  sockaddr_in target = Ipv4SocketAddress(address, port);
  return connect(Handle(s), reinterpret_cast<sockaddr*>(&target), sizeof target);
}

namespace {

// A connect that does not block: 1 when it connected at once, 0 while it is
// under way, -1 when it failed.
int StartConnect(Socket s, std::uint32_t address, std::uint16_t port) {
  u_long nonBlocking = 1;
  if (ioctlsocket(Handle(s), FIONBIO, &nonBlocking) != 0) return -1;
  sockaddr_in target = Ipv4SocketAddress(address, port);
  if (connect(Handle(s), reinterpret_cast<sockaddr*>(&target), sizeof target) == 0) return 1;
  return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
}

// Waits up to waitMs for a connect under way: 1 connected, 0 still under
// way, -1 failed (Windows reports a failed connect in the except set).
int AwaitConnect(Socket s, int waitMs) {
  fd_set writable;
  fd_set failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(Handle(s), &writable);
  FD_SET(Handle(s), &failed);
  timeval wait{waitMs / 1000, (waitMs % 1000) * 1000};
  int ready = select(0, nullptr, &writable, &failed, &wait);
  if (ready == SOCKET_ERROR) return -1;
  if (ready == 0) return 0;
  int error = 0;
  int length = sizeof error;
  bool connected = FD_ISSET(Handle(s), &writable) &&
                   getsockopt(Handle(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                              &length) == 0 &&
                   error == 0;
  return connected ? 1 : -1;
}

int EndConnect(Socket s, int state) {
  u_long blocking = 0;
  if (ioctlsocket(Handle(s), FIONBIO, &blocking) != 0) return -1;
  return state == 1 ? 0 : -1;
}

}  // namespace

int NetConnectWithin(Socket s, std::uint32_t address, std::uint16_t port, int timeoutMs) {
  int state = StartConnect(s, address, port);
  if (state == 0) state = AwaitConnect(s, timeoutMs);
  return EndConnect(s, state);
}

int NetConnectWhile(Socket s, std::uint32_t address, std::uint16_t port, int sliceMs,
                    KeepWaiting keepWaiting, const void* context) {
  int state = StartConnect(s, address, port);
  while (state == 0 && keepWaiting(context)) state = AwaitConnect(s, sliceMs);
  return EndConnect(s, state);
}

int NetSetSendTimeout(Socket s, int timeoutMs) {
  DWORD limit = static_cast<DWORD>(timeoutMs);
  return setsockopt(Handle(s), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&limit),
                    sizeof limit) == 0
             ? 0
             : -1;
}

int NetSetNoDelay(Socket s) {
  BOOL on = TRUE;
  return setsockopt(Handle(s), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                    sizeof on) == 0
             ? 0
             : -1;
}

PeerAddress NetIpv4Peer(std::uint32_t addressNetworkOrder, int port) {
  PeerAddress peer{};
  peer.family = AF_INET;
  peer.portNetworkOrder = htons(static_cast<u_short>(port));
  peer.addressNetworkOrder = addressNetworkOrder;
  return peer;
}

Socket NetOpenUdp() {
  SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
  return s == INVALID_SOCKET ? kBadSocket : static_cast<Socket>(s);
}

int NetSendTo(Socket s, const void* data, int size, const PeerAddress& peer) {
  sockaddr_in target = Ipv4SocketAddress(peer.addressNetworkOrder, ntohs(peer.portNetworkOrder));
  return sendto(Handle(s), static_cast<const char*>(data), size, 0,
                reinterpret_cast<sockaddr*>(&target), sizeof target);
}

int NetReceiveFrom(Socket s, void* buffer, int size, PeerAddress* sender) {
  sockaddr_in address{};
  int length = sizeof address;
  int got = recvfrom(Handle(s), static_cast<char*>(buffer), size, 0,
                     reinterpret_cast<sockaddr*>(&address), &length);
  // Winsock fills the buffer with the first part of a longer datagram and
  // fails the call; BSD sockets return that part.
  if (got == SOCKET_ERROR && WSAGetLastError() == WSAEMSGSIZE) got = size;
  *sender = NetIpv4Peer(address.sin_addr.s_addr, ntohs(address.sin_port));
  return got;
}
