// Reverse look-up of one IPv4 address by a PTR query of our own, sent over
// UDP to one given DNS server.
#pragma once
#include <cstddef>

#include "platform/net.h"
#include "wizard/discovery/report.h"

constexpr int kDnsPort = 53;
// One query waits this long for the server's answer, however many other
// datagrams arrive meanwhile.
constexpr int kDnsAnswerWaitMs = 2000;
// Datagrams that are no answer to the query are dropped; past this many the
// query gives up early.
constexpr int kMaxDatagramsPerQuery = 64;

// Asks server (dotted address, or a name) for the PTR record of address
// (dotted). 0 when it answered with a valid host name, which has then been
// added to the host candidate table with the address; -1 otherwise.
int QueryPtrRecord(ReportPage page, const char* address, const char* server);

// A UDP socket for server and port, with the server's socket address filled
// in; kBadSocket when the server cannot be used.
Socket OpenDnsSocket(const char* server, int port, PeerAddress* serverAddress);
