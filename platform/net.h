// TCP sockets for the mapper and UDP datagrams for the wizard's own DNS
// queries: a thin layer over Winsock and BSD sockets.
#pragma once
#include <cstddef>
#include <cstdint>

// A socket handle carried as a signed integer; 0 and -1 both mean "none".
using Socket = std::intptr_t;
constexpr Socket kNoSocket = 0;
constexpr Socket kBadSocket = -1;
inline bool IsOpenSocket(Socket s) {
  return s != kNoSocket && s != kBadSocket;
}

// An IPv4 socket address laid out as the wire-level sockaddr_in (16 bytes).
struct PeerAddress {
  std::uint16_t family;
  std::uint16_t portNetworkOrder;
  std::uint32_t addressNetworkOrder;
  unsigned char zero[8];
};
static_assert(sizeof(PeerAddress) == 16, "PeerAddress mirrors sockaddr_in");

// Starts the socket library asking for version major.minor; stores the version
// granted. Returns 0 on success, else the library's error code.
int NetStartup(int major, int minor, int* grantedMajor, int* grantedMinor);
void NetCleanup();
int NetLastError();

Socket NetOpenTcp();  // kBadSocket on failure
int NetSetReuseAddress(Socket s);
int NetBindAnyAddress(Socket s, int port);
// Binds one local IPv4 address (network order); 0 is every interface.
int NetBindAddress(Socket s, std::uint32_t networkOrderAddress, int port);
int NetBindLoopback(Socket s, int port);  // port 0 picks a free one
int NetListen(Socket s, int backlog);
int NetLocalPort(Socket s);  // -1 on failure
int NetConnectLoopback(Socket s, int port);
Socket NetAccept(Socket listener, PeerAddress* peer);

// What a failed accept says about the next one, from its error code.
enum class AcceptFailure {
  kConnection,  // only the queued connection failed (its peer reset it, say)
  kResources,   // out of descriptors or buffers: the next accept fails too
  kOther,
};
AcceptFailure NetAcceptFailure(int error);
// Makes NetAccept fail with the code of a reset connection, as Windows'
// accept does, for a queued connection that its peer reset before it was
// accepted; Linux and Wine hand such a connection over. Only tests call it.
void NetAcceptFailsOnResetForTests(bool fails);
// Makes closing the socket reset the connection instead of ending it.
int NetSetResetOnClose(Socket s);

// 1 when readable (or at end of stream), 0 on time-out, -1 on error.
int NetWaitReadable(Socket s, int timeoutMs);
// 1 when a small send would not block, 0 on time-out, -1 on error.
int NetWaitWritable(Socket s, int timeoutMs);

// Results as recv/send give them: count, 0 at end of stream, -1 on error.
int NetReceive(Socket s, void* buffer, int size);
int NetSend(Socket s, const void* data, int size);

// Makes every later receive and send on the socket return at once; one that
// would have had to wait fails with NetWouldBlock() true. 0 or -1.
int NetSetNonBlocking(Socket s);
// True when the last socket call of this thread failed only because it
// would have had to wait.
bool NetWouldBlock();

// Ends the connection in both directions at once without releasing the
// handle; the peer sees the close. On Linux it wakes every thread blocked on
// the socket; on Windows it wakes none (only NetClose does), so no thread may
// count on it to leave a blocking call.
void NetShutdown(Socket s);
// Makes NetShutdown wake no blocked call and leave the close to NetClose,
// the strictest form of the Windows behaviour, so that tests on Linux meet a
// thread that waits on a socket without a bound. Only tests call it.
void NetShutdownWakesNoOneForTests(bool wakesNoOne);
int NetClose(Socket s);

// Owns a socket and closes it when it goes out of scope, unless Release()
// handed it on first; for error paths that would otherwise close by hand.
class ScopedSocket {
 public:
  explicit ScopedSocket(Socket s = kBadSocket) : socket_(s) {}
  ScopedSocket(ScopedSocket&& other) noexcept : socket_(other.Release()) {}
  ScopedSocket(const ScopedSocket&) = delete;
  ScopedSocket& operator=(const ScopedSocket&) = delete;
  ScopedSocket& operator=(ScopedSocket&&) = delete;
  ~ScopedSocket() {
    if (IsOpenSocket(socket_)) NetClose(socket_);
  }

  Socket Get() const { return socket_; }
  bool IsOpen() const { return IsOpenSocket(socket_); }
  Socket Release() {
    Socket s = socket_;
    socket_ = kBadSocket;
    return s;
  }

 private:
  Socket socket_;
};

// The address in dotted decimal, into a buffer of at least 16 bytes.
void NetFormatAddress(const PeerAddress& peer, char* buffer, std::size_t size);

// Name and service look-ups through the system resolver, each returning
// true when it found a record. Addresses are in network order, ports not.
bool NetHostByName(const char* name, std::uint32_t* address);
bool NetHostByAddress(std::uint32_t address, std::uint32_t* found);
// The dotted text as an address (INADDR_NONE, all ones, when it is none).
std::uint32_t NetParseDotted(const char* text);
bool NetServicePort(const char* service, std::uint16_t* port);
int NetConnect(Socket s, std::uint32_t address, std::uint16_t port);

// NetConnect that gives up after timeoutMs: 0 when connected, -1 on failure
// or time-out. The socket is blocking again afterwards.
int NetConnectWithin(Socket s, std::uint32_t address, std::uint16_t port, int timeoutMs);
// NetConnect that waits in slices of sliceMs and gives up once
// keepWaiting(context) is false before a slice; otherwise it ends as a
// blocking connect would. 0 when connected, -1 on failure or when it gave
// up. The socket is blocking again afterwards.
using KeepWaiting = bool (*)(const void* context);
int NetConnectWhile(Socket s, std::uint32_t address, std::uint16_t port, int sliceMs,
                    KeepWaiting keepWaiting, const void* context);
// Bounds every later blocking send on the socket; 0 or -1.
int NetSetSendTimeout(Socket s, int timeoutMs);
// Sends small writes at once instead of holding them for the peer's
// acknowledgement; 0 or -1.
int NetSetNoDelay(Socket s);

// UDP datagrams. The peer address for an IPv4 address (network order) and a
// port (host order).
PeerAddress NetIpv4Peer(std::uint32_t addressNetworkOrder, int port);
Socket NetOpenUdp();  // kBadSocket on failure
// The count sent, or -1.
int NetSendTo(Socket s, const void* data, int size, const PeerAddress& peer);
// One datagram and its sender: the count received, or -1. A datagram longer
// than the buffer is cut to it on both systems.
int NetReceiveFrom(Socket s, void* buffer, int size, PeerAddress* sender);
