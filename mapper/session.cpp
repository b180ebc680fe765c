#include "mapper/session.h"

#include <cstring>

#include "mapper/log.h"
#include "mapper/login.h"
#include "mapper/reader.h"
#include "mapper/requests.h"
#include "mapper/session_channel.h"
#include "mapper/start_thread.h"
#include "mapper/telnet/telnet_stream.h"
#include "mapper/timing.h"
#include "mapper/worker_slots.h"

namespace {

// The password never reaches the log.
constexpr const char* kPasswordMask = "********";

// What the worker knows of its connection between requests.
struct Worker {
  Worker(WorkerSlot& owner, Socket frontEnd) : slot(owner), socket(frontEnd), client(owner, frontEnd) {}
  WorkerSlot& slot;
  Socket socket;
  SessionChannel client;
  char line[kLineRoom] = "";
  LoginPrompts prompts;
  bool loggedIn = false;
  // False once a login request's field lines came out of step (below).
  bool fieldsInStep = true;
};

enum class Next { kNextRequest, kEndThread };

bool StillActive(const void* slot) {
  return SessionActive(*static_cast<const WorkerSlot*>(slot));
}

void Reply(Worker& worker, const char* text) {
  worker.client.Write(text, std::strlen(text));
}

// Any request the session cannot carry out is answered "ng" and ends it.
Next Refuse(Worker& worker) {
  Reply(worker, "ng\n");
  EndSession(worker.slot);
  return Next::kEndThread;
}

// Reads and drops the rest of a line that did not fit the buffer, up to its
// line end, so that its tail is never taken as the next field or request.
bool DropRestOfLine(ByteChannel& channel) {
  unsigned char byte = 0;
  do {
    if (channel.ReadByte(&byte) != 1) return false;
  } while (byte != '\n');
  return true;
}

// The next line from the front end; false when it closed or failed, which
// ends the session.
bool ReadLine(Worker& worker) {
  int length = ReadRequestLineFrom(worker.client, worker.line, kLineRoom);
  if (length == kLineRoom - 1 && !DropRestOfLine(worker.client)) length = -1;
  if (length >= 0) return true;
  EndSession(worker.slot);
  return false;
}

// A line end as a line's first byte is text, so an empty field line joins
// the next and every later field moves up a place: from there on any field
// may hold the password, and the user id typed at the login prompt (which
// the server echoes) may be the password.
void NoteFieldsOutOfStep(Worker& worker) {
  if (!worker.fieldsInStep || worker.line[0] != '\n') return;
  worker.fieldsInStep = false;
  WriteLog(
      "worker(%d): a field line began with a line end; it, the fields after it and the "
      "login output are not logged.\n",
      worker.slot.index);
}

bool ReadLoginFields(Worker& worker) {
  WorkerSlot& slot = worker.slot;
  worker.fieldsInStep = true;
  char* fields[kLoginFieldCount] = {slot.loginTag, slot.userId, slot.password, slot.hostName,
                                    slot.service};
  std::size_t sizes[kLoginFieldCount] = {sizeof slot.loginTag, sizeof slot.userId,
                                         sizeof slot.password, sizeof slot.hostName,
                                         sizeof slot.service};
  for (int i = 0; i < kLoginFieldCount; ++i) {
    if (!ReadLine(worker)) return false;
    NoteFieldsOutOfStep(worker);
    bool secret = fields[i] == slot.password || !worker.fieldsInStep;
    WriteLog("%s\n", secret ? kPasswordMask : worker.line);
    // A field keeps what fits of its line, terminated.
    std::strncpy(fields[i], worker.line, sizes[i] - 1);
    fields[i][sizes[i] - 1] = '\0';
  }
  return true;
}

Next StartForwarding(Worker& worker) {
  HoldSlot(worker.slot);
  worker.slot.readerThread = StartThread(ReaderThread, &worker.slot);
  if (worker.slot.readerThread == kThreadNotStarted) {
    WriteLog("thread creation error.\n");
    ReleaseSlot(worker.slot);
    EndSession(worker.slot);
    return Next::kEndThread;
  }
  worker.loggedIn = true;
  return Next::kNextRequest;
}

Next HandleLogin(Worker& worker) {
  WorkerSlot& slot = worker.slot;
  // One telnet session per connection: a second login is refused.
  if (worker.loggedIn) return Refuse(worker);
  if (!ReadLoginFields(worker)) return Next::kEndThread;
  // A server that never answers the connect holds the worker only while the
  // session lasts.
  Socket telnet = TelnetConnectWhile(slot.hostName, slot.service, Timing().waitMs,
                                     StillActive, &slot);
  slot.telnetSocket = telnet;
  if (!IsOpenSocket(telnet)) return Refuse(worker);
  if (!SessionActive(slot)) return Next::kEndThread;
  slot.idleSeconds = 0;
  switch (RunLoginPhase(slot, telnet, worker.prompts, worker.fieldsInStep)) {
    case LoginOutcome::kEnded:
      return Next::kEndThread;
    case LoginOutcome::kRefused:
      return Refuse(worker);
    case LoginOutcome::kLoggedIn:
      break;
  }
  Reply(worker, "ok\n");
  return StartForwarding(worker);
}

Next HandleData(Worker& worker) {
  if (!ReadLine(worker)) return Next::kEndThread;
  WriteLog("METHOD_DATA %s", worker.line);
  // Typing needs a telnet session: data before a login is refused.
  if (!worker.loggedIn || std::strstr(worker.line, kRefusalText) != nullptr) {
    return Refuse(worker);
  }
  SessionChannel telnet(worker.slot, worker.slot.telnetSocket.load());
  TypeLine(telnet, worker.line);
  return Next::kNextRequest;
}

Next HandleLogout(Worker& worker) {
  if (!ReadLine(worker)) return Next::kEndThread;
  WriteLog("METHOD_LOGOUT %s", worker.line);
  EndSession(worker.slot);
  return Next::kEndThread;
}

Next HandleRequest(Worker& worker) {
  switch (ClassifyRequest(worker.line)) {
    case Request::kLogin:
      return HandleLogin(worker);
    case Request::kData:
      return HandleData(worker);
    case Request::kLogout:
      return HandleLogout(worker);
    case Request::kNone:
      break;
  }
  return Next::kNextRequest;
}

void ServeRequests(Worker& worker) {
  while (SessionActive(worker.slot)) {
    int ready = NetWaitReadable(worker.socket, Timing().waitMs);
    if (ready == 0) continue;
    if (ready < 0) {
      EndSession(worker.slot);
      return;
    }
    if (!ReadLine(worker)) return;
    WriteLog("worker(%d): received - %s\n", worker.slot.index, worker.line);
    if (HandleRequest(worker) == Next::kEndThread) return;
  }
}

}  // namespace

void EndSession(WorkerSlot& slot) {
  if (!BeginSlotEnd(slot)) return;
  FinishSlotEnd(slot);
  WriteLog("worker(%d): ended.\n", slot.index);
}

void WorkerThread(void* argument) {
  WorkerSlot& slot = *static_cast<WorkerSlot*>(argument);
  WriteLog("worker(%d): started.\n", slot.index);
  slot.idleSeconds = 0;
  slot.loginTag[0] = '\0';
  Worker worker(slot, slot.clientSocket.load());
  ServeRequests(worker);
  ReleaseSlot(slot);
}
