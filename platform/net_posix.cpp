#include "platform/net.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/net_ipv4.h"

namespace {

int Fd(Socket s) {
  return static_cast<int>(s);
}

// Descriptor 0 must never be handed out as a socket, because 0 means "no
// connection" in the mapper's slot fields.
void KeepStandardDescriptorsTaken() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) open("/dev/null", O_RDWR);
  }
}

int Bind(Socket s, std::uint32_t hostOrderAddress, int port) {
  sockaddr_in address = Ipv4SocketAddress(htonl(hostOrderAddress), port);
  return bind(Fd(s), reinterpret_cast<sockaddr*>(&address), sizeof address);
}

}  // namespace

int NetStartup(int major, int minor, int* grantedMajor, int* grantedMinor) {
  KeepStandardDescriptorsTaken();
  // A peer that closed its end must show up as a failed send, not end the process.
  signal(SIGPIPE, SIG_IGN);
  *grantedMajor = major;
  *grantedMinor = minor;
  return 0;
}

void NetCleanup() {}

int NetLastError() {
  return errno;
}

Socket NetOpenTcp() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  return fd < 0 ? kBadSocket : fd;
}

int NetSetReuseAddress(Socket s) {
  int on = 1;
  return setsockopt(Fd(s), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
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
  return listen(Fd(s), backlog);
}

int NetLocalPort(Socket s) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (getsockname(Fd(s), reinterpret_cast<sockaddr*>(&address), &length) != 0) return -1;
  return ntohs(address.sin_port);
}

int NetConnectLoopback(Socket s, int port) {
  sockaddr_in address = Ipv4SocketAddress(htonl(INADDR_LOOPBACK), port);
  return connect(Fd(s), reinterpret_cast<sockaddr*>(&address), sizeof address);
}

namespace {

std::atomic<bool> acceptFailsOnReset{false};
// A test resets its connection right after the connect, but the listener
// may take it first; this long a wait lets the reset arrive whatever the
// scheduling.
constexpr int kResetGraceMs = 200;

bool PeerResetIt(int fd) {
  pollfd entry{fd, POLLIN, 0};
  poll(&entry, 1, kResetGraceMs);
  int error = 0;
  socklen_t length = sizeof error;
  return getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error != 0;
}

}  // namespace

Socket NetAccept(Socket listener, PeerAddress* peer) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  int fd = accept4(Fd(listener), reinterpret_cast<sockaddr*>(&address), &length, SOCK_CLOEXEC);
  if (fd < 0) return kBadSocket;
  if (acceptFailsOnReset.load() && PeerResetIt(fd)) {
    close(fd);
    errno = ECONNRESET;
    return kBadSocket;
  }
  std::memset(peer, 0, sizeof *peer);
  peer->family = address.sin_family;
  peer->portNetworkOrder = address.sin_port;
  peer->addressNetworkOrder = address.sin_addr.s_addr;
  return fd;
}

AcceptFailure NetAcceptFailure(int error) {
  switch (error) {
    // accept(2): Linux passes a queued connection's network errors on here.
    case ECONNABORTED:
    case ECONNRESET:
    case EPROTO:
    case EPERM:
    case ETIMEDOUT:
    case ENETDOWN:
    case ENETUNREACH:
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ENONET:
    case ENOPROTOOPT:
    case EOPNOTSUPP:
    case EINTR:
      return AcceptFailure::kConnection;
    case EMFILE:
    case ENFILE:
    case ENOBUFS:
    case ENOMEM:
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
  return setsockopt(Fd(s), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive) == 0 ? 0 : -1;
}

int NetWaitReadable(Socket s, int timeoutMs) {
  pollfd entry{Fd(s), POLLIN, 0};
  int ready = poll(&entry, 1, timeoutMs);
  if (ready < 0) return errno == EINTR ? 0 : -1;
  if (ready == 0) return 0;
  return (entry.revents & POLLNVAL) ? -1 : 1;
}

int NetWaitWritable(Socket s, int timeoutMs) {
  pollfd entry{Fd(s), POLLOUT, 0};
  int ready = poll(&entry, 1, timeoutMs);
  if (ready < 0) return errno == EINTR ? 0 : -1;
  if (ready == 0) return 0;
  return (entry.revents & POLLNVAL) ? -1 : 1;
}

int NetReceive(Socket s, void* buffer, int size) {
  ssize_t got;
  do {
    got = recv(Fd(s), buffer, static_cast<size_t>(size), 0);
  } while (got < 0 && errno == EINTR);
  return static_cast<int>(got);
}

int NetSend(Socket s, const void* data, int size) {
  ssize_t sent;
  do {
    sent = send(Fd(s), data, static_cast<size_t>(size), MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return static_cast<int>(sent);
}

int NetSetNonBlocking(Socket s) {
  int flags = fcntl(Fd(s), F_GETFL);
  return flags >= 0 && fcntl(Fd(s), F_SETFL, flags | O_NONBLOCK) == 0 ? 0 : -1;
}

bool NetWouldBlock() {
  return errno == EAGAIN || errno == EWOULDBLOCK;
}

namespace {
std::atomic<bool> shutdownWakesNoOne{false};
}  // namespace

void NetShutdown(Socket s) {
  if (!shutdownWakesNoOne.load()) shutdown(Fd(s), SHUT_RDWR);
}

void NetShutdownWakesNoOneForTests(bool wakesNoOne) {
  shutdownWakesNoOne = wakesNoOne;
}

int NetClose(Socket s) {
  return close(Fd(s));
}

void NetFormatAddress(const PeerAddress& peer, char* buffer, std::size_t size) {
  in_addr address{};
  address.s_addr = peer.addressNetworkOrder;
  if (inet_ntop(AF_INET, &address, buffer, static_cast<socklen_t>(size)) == nullptr && size > 0) {
    buffer[0] = '\0';
  }
}

namespace {

// The reentrant look-ups want a scratch buffer; ERANGE asks for a larger one.
constexpr std::size_t kLookupBufferStart = 1024;
constexpr std::size_t kLookupBufferLimit = 1 << 20;

template <typename Lookup>
bool LookUpHost(Lookup lookup, std::uint32_t* address) {
  for (std::size_t size = kLookupBufferStart; size <= kLookupBufferLimit; size *= 2) {
    std::vector<char> scratch(size);
    hostent entry{};
    hostent* found = nullptr;
    int hostError = 0;
    int failed = lookup(&entry, scratch.data(), size, &found, &hostError);
    if (failed == ERANGE) continue;
    return failed == 0 && FirstIpv4(found, address);
  }
  return false;
}

}  // namespace

bool NetHostByName(const char* name, std::uint32_t* address) {
  return LookUpHost(
      [name](hostent* entry, char* scratch, std::size_t size, hostent** found, int* error) {
        return gethostbyname_r(name, entry, scratch, size, found, error);
      },
      address);
}

bool NetHostByAddress(std::uint32_t address, std::uint32_t* found) {
  return LookUpHost(
      [&address](hostent* entry, char* scratch, std::size_t size, hostent** result, int* error) {
        return gethostbyaddr_r(&address, 4, AF_INET, entry, scratch, size, result, error);
      },
      found);
}

std::uint32_t NetParseDotted(const char* text) {
  return inet_addr(text);
}

bool NetServicePort(const char* service, std::uint16_t* port) {
  for (std::size_t size = kLookupBufferStart; size <= kLookupBufferLimit; size *= 2) {
    std::vector<char> scratch(size);
    servent entry{};
    servent* found = nullptr;
    int failed = getservbyname_r(service, "tcp", &entry, scratch.data(), size, &found);
    if (failed == ERANGE) continue;
    if (failed != 0 || found == nullptr) return false;
    *port = ntohs(static_cast<std::uint16_t>(found->s_port));
    return true;
  }
  return false;
}

int NetConnect(Socket s, std::uint32_t address, std::uint16_t port) {
  sockaddr_in target = Ipv4SocketAddress(address, port);
  int result;
  do {
    result = connect(Fd(s), reinterpret_cast<sockaddr*>(&target), sizeof target);
  } while (result != 0 && errno == EINTR);
  return result;
}

namespace {

// A connect that does not block, on a socket with these flags: 1 when it
// connected at once, 0 while it is under way, -1 when it failed.
int StartConnect(Socket s, std::uint32_t address, std::uint16_t port, int flags) {
  if (fcntl(Fd(s), F_SETFL, flags | O_NONBLOCK) != 0) return -1;
  sockaddr_in target = Ipv4SocketAddress(address, port);
  if (connect(Fd(s), reinterpret_cast<sockaddr*>(&target), sizeof target) == 0) return 1;
  return errno == EINPROGRESS || errno == EINTR ? 0 : -1;
}

// Waits up to waitMs for a connect under way: 1 connected, 0 still under
// way, -1 failed.
int AwaitConnect(Socket s, int waitMs) {
  pollfd entry{Fd(s), POLLOUT, 0};
  int ready = poll(&entry, 1, waitMs);
  if (ready < 0) return errno == EINTR ? 0 : -1;
  if (ready == 0) return 0;
  int error = 0;
  socklen_t length = sizeof error;
  return getsockopt(Fd(s), SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0 ? 1 : -1;
}

int EndConnect(Socket s, int flags, int state) {
  if (fcntl(Fd(s), F_SETFL, flags) != 0) return -1;
  return state == 1 ? 0 : -1;
}

}  // namespace

int NetConnectWithin(Socket s, std::uint32_t address, std::uint16_t port, int timeoutMs) {
  int flags = fcntl(Fd(s), F_GETFL);
  if (flags < 0) return -1;
  int state = StartConnect(s, address, port, flags);
  if (state == 0) state = AwaitConnect(s, timeoutMs);
  return EndConnect(s, flags, state);
}

int NetConnectWhile(Socket s, std::uint32_t address, std::uint16_t port, int sliceMs,
                    KeepWaiting keepWaiting, const void* context) {
  int flags = fcntl(Fd(s), F_GETFL);
  if (flags < 0) return -1;
  int state = StartConnect(s, address, port, flags);
  while (state == 0 && keepWaiting(context)) state = AwaitConnect(s, sliceMs);
  return EndConnect(s, flags, state);
}

int NetSetSendTimeout(Socket s, int timeoutMs) {
  timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  return setsockopt(Fd(s), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) == 0 ? 0 : -1;
}

int NetSetNoDelay(Socket s) {
  int on = 1;
  return setsockopt(Fd(s), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0 ? 0 : -1;
}

PeerAddress NetIpv4Peer(std::uint32_t addressNetworkOrder, int port) {
  PeerAddress peer{};
  peer.family = AF_INET;
  peer.portNetworkOrder = htons(static_cast<std::uint16_t>(port));
  peer.addressNetworkOrder = addressNetworkOrder;
  return peer;
}

Socket NetOpenUdp() {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  return fd < 0 ? kBadSocket : fd;
}

int NetSendTo(Socket s, const void* data, int size, const PeerAddress& peer) {
  sockaddr_in target = Ipv4SocketAddress(peer.addressNetworkOrder, ntohs(peer.portNetworkOrder));
  ssize_t sent;
  do {
    sent = sendto(Fd(s), data, static_cast<size_t>(size), 0, reinterpret_cast<sockaddr*>(&target),
                  sizeof target);
  } while (sent < 0 && errno == EINTR);
  return static_cast<int>(sent);
}

int NetReceiveFrom(Socket s, void* buffer, int size, PeerAddress* sender) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  ssize_t got;
  do {
    got = recvfrom(Fd(s), buffer, static_cast<size_t>(size), 0,
                   reinterpret_cast<sockaddr*>(&address), &length);
  } while (got < 0 && errno == EINTR);
  *sender = NetIpv4Peer(address.sin_addr.s_addr, ntohs(address.sin_port));
  return static_cast<int>(got);
}
