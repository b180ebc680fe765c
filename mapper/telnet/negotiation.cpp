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
  int (*handler)(Socket);
};

// clang-format off
constexpr CommandRow kCommands[] = {
    {"[xEOF]", nullptr},  {"[SUSP]", nullptr}, {"[ABORT]", nullptr},
    {"[EOR]", nullptr},   {"[SE]", nullptr},   {"[NOP]", nullptr},
    {"[DM]", nullptr},    {"[BREAK]", nullptr}, {"[IP]", nullptr},
    {"[AO]", nullptr},    {"[AYT]", nullptr},  {"[EC]", nullptr},
    {"[EL]", nullptr},    {"[GA]", nullptr},
    {"[SB]", TelnetOnSubnegotiation},
    {"[WILL]", TelnetOnWill},
    {"[WONT]", TelnetOnWont},
    {"[DO]", TelnetOnDo},
    {"[DONT]", TelnetOnDont},
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
bool ReadNext(Socket s, unsigned char* byte) {
  return TelnetReadByte(s, byte) == 1;
}

void SendCommand(Socket s, unsigned char command, unsigned char option) {
  TelnetWriteByte(s, kIac);
  TelnetWriteByte(s, command);
  TelnetWriteByte(s, option);
}

bool ClaimEnviron(int choice) {
  int open = kEnvironNotChosen;
  return EnvironChoice.compare_exchange_strong(open, choice);
}

void SendSubAnswer(Socket s, const SubAnswer& answer, unsigned char option) {
  SendCommand(s, kSb, option);
  if (answer.value == SubValue::kWindowSize) {
    TelnetWriteWord(s, kWindowColumns);
    TelnetWriteWord(s, kWindowRows);
  } else {
    TelnetWriteByte(s, TELQUAL_IS);
    if (answer.value == SubValue::kIsAndText) {
      TelnetWriteText(s, answer.text.data(), answer.text.size());
    }
  }
  TelnetWriteByte(s, kIac);
  TelnetWriteByte(s, kSe);
  if (answer.value == SubValue::kWindowSize) {
    TelnetTraceOut(answer.sendText, kWindowColumns, kWindowRows);
  } else {
    TelnetTraceOut(answer.sendText, option);
  }
  if (answer.closingText != nullptr) TelnetTraceOut(answer.closingText);
}

int AnswerOption(Socket s, Reply OptionRow::*request) {
  unsigned char option;
  if (!ReadNext(s, &option)) return 0;
  const OptionRow& row = FindOption(option);
  const Reply& reply = row.*request;
  TelnetTraceIn(reply.receiveText, option);
  if (reply.command == kWill && row.environChoice != kNoEnviron &&
      !ClaimEnviron(row.environChoice)) {
    SendCommand(s, kWont, option);
    TelnetTraceOut(row.refusedDoText, option);
    return 0;
  }
  SendCommand(s, reply.command, option);
  TelnetTraceOut(reply.sendText, option);
  if (reply.command == kWill && row.windowSizeFollowsWill) SendSubAnswer(s, row.sub, option);
  return 0;
}

// Reads the qualifier and what follows it up to the closing SE, taking the
// bytes by position rather than by value. False when a read failed.
bool ReadSubnegotiationBody(Socket s, bool readsUpToIac) {
  unsigned char byte;
  if (!ReadNext(s, &byte)) return false;
  TelnetTraceIn("[%03d]", byte);
  if (readsUpToIac) {
    for (;;) {
      if (!ReadNext(s, &byte)) return false;
      if (byte == kIac) break;
      TelnetTraceIn("[%03d]", byte);
    }
  } else if (!ReadNext(s, &byte)) {
    return false;
  }
  TelnetTraceIn("[IAC]");
  if (!ReadNext(s, &byte)) return false;
  TelnetTraceIn("[SE]\n");
  return true;
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
  if (byte != kIac) {
    TelnetTraceIn("%c", byte);
    return 0;
  }
  TelnetTraceIn("[IAC]");
  unsigned char command;
  if (!ReadNext(s, &command)) return 0;
  if (command < kFirstNamedCommand || command == kIac) {
    TelnetTraceIn("[%03d]", command);
    return 0;
  }
  const CommandRow& row = kCommands[command - kFirstNamedCommand];
  TelnetTraceIn(row.receiveText);
  if (row.handler != nullptr) row.handler(s);
  return 0;
}

int TelnetOnWill(Socket s) {
  return AnswerOption(s, &OptionRow::onWill);
}
int TelnetOnWont(Socket s) {
  return AnswerOption(s, &OptionRow::onWont);
}
int TelnetOnDo(Socket s) {
  return AnswerOption(s, &OptionRow::onDo);
}
int TelnetOnDont(Socket s) {
  return AnswerOption(s, &OptionRow::onDont);
}

int TelnetOnSubnegotiation(Socket s) {
  unsigned char option;
  if (!ReadNext(s, &option)) return 0;
  const SubAnswer& answer = FindOption(option).sub;
  TelnetTraceIn(answer.receiveText, option);
  if (!ReadSubnegotiationBody(s, answer.readsUpToIac)) return 0;
  SendSubAnswer(s, answer, option);
  return 0;
}
