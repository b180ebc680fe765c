#include "mapper/telnet/negotiation.h"

#include <string_view>

#include "mapper/telnet/telnet_stream.h"

std::atomic<int> EnvironChoice{kEnvironNotChosen};

namespace {

constexpr unsigned char kIac = 255;
constexpr unsigned char kDont = 254;
constexpr unsigned char kDo = 253;
constexpr unsigned char kWont = 252;
constexpr unsigned char kWill = 251;
constexpr unsigned char kSb = 250;
constexpr unsigned char kSe = 240;
constexpr unsigned char kFirstNamedCommand = 236;  // EOF

// An environment request longer than this is dropped unanswered: a server
// must not hold the login phase by never closing one.
constexpr int kSubnegotiationLimit = 512;

constexpr unsigned kWindowColumns = 80;
constexpr unsigned kWindowRows = 25;

// The reply to one of WILL, WONT, DO, DONT for one option: IAC, command,
// option. The trace texts are formats that take the option's number.
struct Reply {
  unsigned char command;
  const char* receiveText;
  const char* sendText;
};

// The sub-negotiation answer IAC SB option <value> IAC SE.
enum class SubValue {
  kIsOnly,      // IS and nothing else: an empty environment, an unknown option
  kIsAndText,   // IS and the text, the text in one send call
  kWindowSize,  // columns and rows, 16 bits each, high byte first, no IS
};

struct SubAnswer {
  // Environment options carry variables: the request runs from the qualifier
  // up to the first IAC and one byte more. All others are taken as exactly
  // qualifier, IAC, SE, whatever the bytes are.
  bool readsUpToIac;
  const char* receiveText;  // takes the option's number
  SubValue value;
  std::string_view text;
  const char* sendText;     // takes the option's number, or columns and rows
  const char* closingText;  // nullptr when sendText already ends the line
};

struct OptionRow {
  int option;  // kAnyOtherOption ends the table and answers every other option
  Reply onWill;
  Reply onWont;
  Reply onDo;
  Reply onDont;
  // Environment options: DO is answered WILL only when this process's choice
  // is still open and falls to this option, and otherwise WONT with this text.
  int environChoice;
  const char* refusedDoText;
  bool windowSizeFollowsWill;
  SubAnswer sub;
};

constexpr int kAnyOtherOption = -1;
constexpr int kNoEnviron = 0;

// clang-format off
constexpr Reply kDontByNumber{kDont, "[%03d]\n", "<IAC><DONT><%03d>\n"};
constexpr Reply kWontByNumber{kWont, "[%03d]\n", "<IAC><WONT><%03d>\n"};
constexpr SubAnswer kEmptyAnswer{false, "[%03d]", SubValue::kIsOnly, {},
                                 "<IAC><SB><%03d><TELQUAL_IS>", "<IAC><SE>\n"};

constexpr OptionRow kOptions[] = {
    {TELOPT_ECHO,
     {kDo, "[TELOPT_ECHO]\n", "<IAC><DO><TELOPT_ECHO>\n"},
     {kDont, "[TELOPT_ECHO]\n", "<IAC><DONT><TELOPT_ECHO>\n"},
     {kWill, "[TELOPT_ECHO]\n", "<IAC><WILL><TELOPT_ECHO>\n"},
     {kWont, "[TELOPT_ECHO]\n", "<IAC><WONT><TELOPT_ECHO>\n"},
     kNoEnviron, nullptr, false, kEmptyAnswer},
    {TELOPT_SGA,
     {kDo, "[TELOPT_SGA]\n", "<IAC><DO><TELOPT_SGA>\n"},
     kDontByNumber, kWontByNumber, kWontByNumber,
     kNoEnviron, nullptr, false, kEmptyAnswer},
    {TELOPT_TTYPE,
     kDontByNumber, kDontByNumber,
     {kWill, "[TELOPT_TTYPE]\n", "<IAC><WILL><TELOPT_TTYPE>\n"},
     kWontByNumber,
     kNoEnviron, nullptr, false,
     {false, "[TELOPT_TTYPE]", SubValue::kIsAndText, "vt100",
      "<IAC><SB><TELOPT_TTYPE><XXX>", "<IAC><SE>\n"}},
    {TELOPT_NAWS,
     kDontByNumber, kDontByNumber,
     {kWill, "[TELOPT_NAWS]\n", "<IAC><WILL><TELOPT_NAWS>\n"},
     kWontByNumber,
     kNoEnviron, nullptr, true,
     {false, "[TELOPT_NAWS]", SubValue::kWindowSize, {},
      "<IAC><SB><TELOPT_NAWS><%d,%d><IAC><SE>\n", nullptr}},
    {TELOPT_XDISPLOC,
     kDontByNumber, kDontByNumber,
     {kWill, "[TELOPT_XDISPLOC]\n", "<IAC><WILL><TELOPT_XDISPLOC>\n"},
     kWontByNumber,
     kNoEnviron, nullptr, false,
     {false, "[TELOPT_XDISPLOC]", SubValue::kIsAndText, ":0.0",
      "<IAC><SB><TELOPT_DISPLOC><XXX>", "<IAC><SE>\n"}},
    {TELOPT_OLD_ENVIRON,
     kDontByNumber, kDontByNumber,
     {kWill, "[TELOPT_OLD_ENVIRON]\n", "<IAC><WILL><TELOPT_OLD_ENVIRON>\n"},
     kWontByNumber,
     kEnvironOld, "<IAC><WONT><TELOPT_OLD_ENVIRON>\n", false,
     {true, "[TELOPT_OLD_ENVIRON]", SubValue::kIsOnly, {},
      "<IAC><SB><TELOPT_OLD_ENVIRON><TELQUAL_IS>", "<IAC><SE>\n"}},
    {TELOPT_NEW_ENVIRON,
     kDontByNumber, kDontByNumber,
     {kWill, "[TELOPT_NEW_ENVIRON]\n", "<IAC><WILL><TELOPT_NEW_ENVIRON>\n"},
     kWontByNumber,
     kEnvironNew, "<IAC><WONT><TELOPT_NEW_ENVIRON>\n", false,
     {true, "[TELOPT_NEW_ENVIRON]", SubValue::kIsOnly, {},
      "<IAC><SB><TELOPT_NEW_ENVIRON><TELQUAL_IS>", "<IAC><SE>\n"}},
    {kAnyOtherOption,
     kDontByNumber, kDontByNumber, kWontByNumber, kWontByNumber,
     kNoEnviron, nullptr, false, kEmptyAnswer},
};
// clang-format on

// Receive texts of the command bytes from EOF (236) to DONT (254), and the
// handler of those that are followed by more.
struct CommandRow {
  const char* receiveText;
  int (*handler)(ByteChannel&);
};

int OnWill(ByteChannel& channel);
int OnWont(ByteChannel& channel);
int OnDo(ByteChannel& channel);
int OnDont(ByteChannel& channel);
int OnSubnegotiation(ByteChannel& channel);

// clang-format off
constexpr CommandRow kCommands[] = {
    {"[xEOF]", nullptr},  {"[SUSP]", nullptr}, {"[ABORT]", nullptr},
    {"[EOR]", nullptr},   {"[SE]", nullptr},   {"[NOP]", nullptr},
    {"[DM]", nullptr},    {"[BREAK]", nullptr}, {"[IP]", nullptr},
    {"[AO]", nullptr},    {"[AYT]", nullptr},  {"[EC]", nullptr},
    {"[EL]", nullptr},    {"[GA]", nullptr},
    {"[SB]", OnSubnegotiation},
    {"[WILL]", OnWill},
    {"[WONT]", OnWont},
    {"[DO]", OnDo},
    {"[DONT]", OnDont},
};
// clang-format on
static_assert(sizeof kCommands / sizeof kCommands[0] == kDont - kFirstNamedCommand + 1,
              "one row per command byte from EOF to DONT");

const OptionRow& FindOption(unsigned char option) {
  const OptionRow* row = kOptions;
  while (row->option != option && row->option != kAnyOtherOption) ++row;
  return *row;
}

// A failed read leaves nothing to answer: the session sees the closed
// connection at its own next read. Without this an environment request on a
// dead connection would wait for its IAC forever, and a fixed-length one would
// answer into the dead connection with bytes it never received, so both are
// abandoned alike.
bool ReadNext(ByteChannel& channel, unsigned char* byte) {
  return channel.ReadByte(byte) == 1;
}

void SendCommand(ByteChannel& channel, unsigned char command, unsigned char option) {
  WriteByteTo(channel, kIac);
  WriteByteTo(channel, command);
  WriteByteTo(channel, option);
}

bool ClaimEnviron(int choice) {
  int open = kEnvironNotChosen;
  return EnvironChoice.compare_exchange_strong(open, choice);
}

void SendSubAnswer(ByteChannel& channel, const SubAnswer& answer, unsigned char option) {
  SendCommand(channel, kSb, option);
  if (answer.value == SubValue::kWindowSize) {
    WriteWordTo(channel, kWindowColumns);
    WriteWordTo(channel, kWindowRows);
  } else {
    WriteByteTo(channel, TELQUAL_IS);
    if (answer.value == SubValue::kIsAndText) channel.Write(answer.text.data(), answer.text.size());
  }
  WriteByteTo(channel, kIac);
  WriteByteTo(channel, kSe);
  if (answer.value == SubValue::kWindowSize) {
    TelnetTraceOut(answer.sendText, kWindowColumns, kWindowRows);
  } else {
    TelnetTraceOut(answer.sendText, option);
  }
  if (answer.closingText != nullptr) TelnetTraceOut(answer.closingText);
}

int AnswerOption(ByteChannel& channel, Reply OptionRow::*request) {
  unsigned char option;
  if (!ReadNext(channel, &option)) return 0;
  const OptionRow& row = FindOption(option);
  const Reply& reply = row.*request;
  TelnetTraceIn(reply.receiveText, option);
  if (reply.command == kWill && row.environChoice != kNoEnviron &&
      !ClaimEnviron(row.environChoice)) {
    SendCommand(channel, kWont, option);
    TelnetTraceOut(row.refusedDoText, option);
    return 0;
  }
  SendCommand(channel, reply.command, option);
  TelnetTraceOut(reply.sendText, option);
  if (reply.command == kWill && row.windowSizeFollowsWill) SendSubAnswer(channel, row.sub, option);
  return 0;
}

// Reads the qualifier and what follows it up to the closing SE, taking the
// bytes by position rather than by value. False when a read failed or the
// request ran past its limit.
bool ReadSubnegotiationBody(ByteChannel& channel, bool readsUpToIac) {
  unsigned char byte;
  if (!ReadNext(channel, &byte)) return false;
  TelnetTraceIn("[%03d]", byte);
  if (readsUpToIac) {
    for (int read = 0;; ++read) {
      if (read == kSubnegotiationLimit || !ReadNext(channel, &byte)) return false;
      if (byte == kIac) break;
      TelnetTraceIn("[%03d]", byte);
    }
  } else if (!ReadNext(channel, &byte)) {
    return false;
  }
  TelnetTraceIn("[IAC]");
  if (!ReadNext(channel, &byte)) return false;
  TelnetTraceIn("[SE]\n");
  return true;
}

int OnWill(ByteChannel& channel) {
  return AnswerOption(channel, &OptionRow::onWill);
}
int OnWont(ByteChannel& channel) {
  return AnswerOption(channel, &OptionRow::onWont);
}
int OnDo(ByteChannel& channel) {
  return AnswerOption(channel, &OptionRow::onDo);
}
int OnDont(ByteChannel& channel) {
  return AnswerOption(channel, &OptionRow::onDont);
}

int OnSubnegotiation(ByteChannel& channel) {
  unsigned char option;
  if (!ReadNext(channel, &option)) return 0;
  const SubAnswer& answer = FindOption(option).sub;
  TelnetTraceIn(answer.receiveText, option);
  if (!ReadSubnegotiationBody(channel, answer.readsUpToIac)) return 0;
  SendSubAnswer(channel, answer, option);
  return 0;
}

}  // namespace

int TelnetTraceIn(const char* /*format*/, ...) {
  return 0;
}
int TelnetTraceOut(const char* /*format*/, ...) {
  return 0;
}

void ResetEnvironChoiceForTests() {
  EnvironChoice.store(kEnvironNotChosen);
}

int TelnetHandleByte(unsigned char byte, Socket s) {
  SocketChannel channel(s);
  return TelnetHandleByteFrom(byte, channel);
}

int TelnetHandleByteFrom(unsigned char byte, ByteChannel& channel) {
  if (byte != kIac) {
    TelnetTraceIn("%c", byte);
    return 0;
  }
  TelnetTraceIn("[IAC]");
  unsigned char command;
  if (!ReadNext(channel, &command)) return 0;
  if (command < kFirstNamedCommand || command == kIac) {
    TelnetTraceIn("[%03d]", command);
    return 0;
  }
  const CommandRow& row = kCommands[command - kFirstNamedCommand];
  TelnetTraceIn(row.receiveText);
  if (row.handler != nullptr) row.handler(channel);
  return 0;
}

int TelnetOnWill(Socket s) {
  SocketChannel channel(s);
  return OnWill(channel);
}
int TelnetOnWont(Socket s) {
  SocketChannel channel(s);
  return OnWont(channel);
}
int TelnetOnDo(Socket s) {
  SocketChannel channel(s);
  return OnDo(channel);
}
int TelnetOnDont(Socket s) {
  SocketChannel channel(s);
  return OnDont(channel);
}
int TelnetOnSubnegotiation(Socket s) {
  SocketChannel channel(s);
  return OnSubnegotiation(channel);
}
