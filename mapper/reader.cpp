#include "mapper/reader.h"

#include <algorithm>
#include <cstring>

#include "mapper/login.h"
#include "mapper/session.h"
#include "mapper/session_channel.h"
#include "mapper/timing.h"
#include "mapper/worker_slots.h"
#include "platform/threads.h"

namespace {

// The bytes forwarded since the last line end; a line is complete at LF or
// when the room is full.
struct ForwardedLine {
  char bytes[kLineRoom];
  int length = 0;

  bool EndsWithCr() const { return length > 0 && bytes[length - 1] == '\r'; }
  bool Complete() const { return length == kLineRoom || bytes[length - 1] == '\n'; }
  bool ContainsRefusal() const {
    const char* end = bytes + length;
    std::size_t size = std::strlen(kRefusalText);
    return std::search(bytes, end, kRefusalText, kRefusalText + size) != end;
  }
};

// False when the session must end: the server closed or failed, the front
// end is gone, or the server refused the session.
bool ForwardNextByte(ByteChannel& telnet, ByteChannel& client, ForwardedLine& line) {
  unsigned char byte = 0;
  if (telnet.ReadByte(&byte) != 1) return false;
  // A NUL after CR only pads the line end on the wire.
  bool padding = byte == '\0' && line.EndsWithCr();
  line.bytes[line.length++] = static_cast<char>(byte);
  if (!padding && !client.Write(&byte, 1)) return false;
  if (!line.Complete()) return true;
  if (line.ContainsRefusal()) return false;
  line.length = 0;
  SleepMilliseconds(Timing().lineGapMs);
  return true;
}

}  // namespace

void ReaderThread(void* argument) {
  WorkerSlot& slot = *static_cast<WorkerSlot*>(argument);
  SessionChannel telnet(slot, slot.telnetSocket.load());
  SessionChannel client(slot, slot.clientSocket.load());
  ForwardedLine line;
  while (ForwardNextByte(telnet, client, line)) {
  }
  EndSession(slot);
  ReleaseSlot(slot);
}
