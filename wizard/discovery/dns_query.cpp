#include "wizard/discovery/dns_query.h"

#include <chrono>
#include <cstdint>

#include "platform/random.h"
#include "text/ascii.h"
#include "wizard/discovery/dns_message.h"
#include "wizard/discovery/host_table.h"

namespace {

constexpr std::uint32_t kNoAddress = 0xFFFFFFFFu;

class SocketGuard {
 public:
  explicit SocketGuard(Socket s) : socket_(s) {}
  ~SocketGuard() {
    if (IsOpenSocket(socket_)) NetClose(socket_);
  }
  SocketGuard(const SocketGuard&) = delete;
  SocketGuard& operator=(const SocketGuard&) = delete;
  Socket get() const { return socket_; }

 private:
  Socket socket_;
};

bool IsFromServer(const PeerAddress& sender, const PeerAddress& server) {
  return sender.addressNetworkOrder == server.addressNetworkOrder &&
         sender.portNetworkOrder == server.portNetworkOrder;
}

// Waits for the server's answer to query, dropping every other datagram, all
// within one time bound. The answer's length; 0 when none came in time; -1 on
// a receive error, which is reported.
int ReceiveAnswer(ReportPage page, Socket s, const PeerAddress& server, const unsigned char* query,
                  int queryLength, unsigned char* answer) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kDnsAnswerWaitMs);
  for (int datagram = 0; datagram < kMaxDatagramsPerQuery; ++datagram) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0 || NetWaitReadable(s, static_cast<int>(left.count())) != 1) return 0;
    PeerAddress sender{};
    int got = NetReceiveFrom(s, answer, static_cast<int>(kDnsAnswerRoom), &sender);
    if (got < 0) {
      AppendReportLine(page, "Failed to recv data from DNS. Error %ld\r\n",
                       static_cast<long>(NetLastError()));
      return -1;
    }
    if (IsFromServer(sender, server) && IsAnswerToQuery(answer, got, query, queryLength)) {
      return got;
    }
  }
  return 0;
}

}  // namespace

Socket OpenDnsSocket(const char* server, int port, PeerAddress* serverAddress) {
  if (server == nullptr || server[0] == '\0') return kBadSocket;
  std::uint32_t address = 0;
  if (IsAsciiLetter(server[0])) {
    if (!NetHostByName(server, &address)) return kBadSocket;
  } else {
    address = NetParseDotted(server);
    if (address == kNoAddress) return kBadSocket;
  }
  *serverAddress = NetIpv4Peer(address, port);
  return NetOpenUdp();
}

int QueryPtrRecord(ReportPage page, const char* address, const char* server) {
  if (address == nullptr || server == nullptr) return -1;
  // An ID that no other host can guess, so that only the server can answer.
  std::uint16_t id = 0;
  if (!FillRandomBytes(&id, sizeof id)) return -1;
  unsigned char query[kDnsQueryRoom];
  int queryLength = BuildPtrQuery(address, id, query);
  if (queryLength < 0) return -1;
  PeerAddress serverAddress{};
  SocketGuard s(OpenDnsSocket(server, kDnsPort, &serverAddress));
  if (!IsOpenSocket(s.get())) return -1;
  if (NetSendTo(s.get(), query, queryLength, serverAddress) != queryLength) return -1;
  unsigned char answer[kDnsAnswerRoom];
  int answerLength = ReceiveAnswer(page, s.get(), serverAddress, query, queryLength, answer);
  if (answerLength <= 0) return -1;
  char name[kHostNameRoom];
  if (ParsePtrAnswer(answer, name, answerLength, queryLength) != 1) return -1;
  AddHostCandidate(address, name);
  return 0;
}
