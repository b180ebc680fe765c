// Answers the telnet server's option negotiation as a vt100 terminal of 80
// by 25 columns and rows, display ":0.0" and an empty environment. The client
// never starts a negotiation and keeps no per-connection state: every request
// is answered when it arrives, byte by byte, on the socket it came from.
#pragma once
#include <atomic>

#include "mapper/telnet/byte_channel.h"
#include "platform/net.h"

constexpr unsigned char TELOPT_ECHO = 1;
constexpr unsigned char TELOPT_SGA = 3;
constexpr unsigned char TELOPT_TTYPE = 24;
constexpr unsigned char TELOPT_NAWS = 31;
constexpr unsigned char TELOPT_XDISPLOC = 35;
constexpr unsigned char TELOPT_OLD_ENVIRON = 36;
constexpr unsigned char TELOPT_NEW_ENVIRON = 39;
constexpr unsigned char TELQUAL_IS = 0;

// Which environment option the process agreed to: the first DO of either one,
// in any session, wins; the other, and every later request, is refused.
constexpr int kEnvironNotChosen = -1;
constexpr int kEnvironOld = 1;
constexpr int kEnvironNew = 2;
extern std::atomic<int> EnvironChoice;

// Handles one byte that the session read from the telnet server. For IAC it
// reads the rest of the command from the socket and answers it there; any
// other byte is left to the caller. Always 0.
int TelnetHandleByte(unsigned char byte, Socket s);
// The same on any channel: the rest of a command is read from it and the
// answer written to it. An environment request is read up to a limit and
// dropped unanswered past it.
int TelnetHandleByteFrom(unsigned char byte, ByteChannel& channel);

// Each reads what follows its command byte and writes the reply. A read that
// fails abandons the command without a reply. All return 0.
int TelnetOnWill(Socket s);
int TelnetOnWont(Socket s);
int TelnetOnDo(Socket s);
int TelnetOnDont(Socket s);
int TelnetOnSubnegotiation(Socket s);

// Trace hooks for what was received and sent: printf-style, discarded.
int TelnetTraceIn(const char* format, ...);
int TelnetTraceOut(const char* format, ...);

// Puts EnvironChoice back to "not chosen", as in a fresh process. Only tests
// call it.
void ResetEnvironChoiceForTests();
