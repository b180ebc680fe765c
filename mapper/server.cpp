#include "mapper/server.h"

#include <algorithm>

#include "mapper/listen_address.h"
#include "mapper/log.h"
#include "mapper/session.h"
#include "mapper/shared_segment.h"
#include "mapper/timing.h"
#include "mapper/watchdog.h"
#include "mapper/worker_slots.h"
#include "platform/net.h"
#include "platform/registry.h"
#include "platform/threads.h"

int listenPort = kDefaultListenPort;

namespace {

constexpr int kListenBacklog = 5;
// The shutdown stops waiting for workers once it has counted this many busy
// slots across its passes.
constexpr int kWorkerWaitLimit = 10;
// Failures of an unknown cause in a row before the listener pauses a pass.
constexpr int kAcceptFailuresBeforePause = 3;

Socket OpenListener() {
  ListenAddress address = ConfiguredListenAddress();
  if (address.result != kRegistryOk) {
    WriteLog("failed to use the listen address \"%s\" of %s. (error code = %ld)\n", address.text,
             kListenAddressValue, address.result);
    return kBadSocket;
  }
  ScopedSocket listener(NetOpenTcp());
  if (!listener.IsOpen()) {
    WriteLog("failed to create a socket. (error code = %d)\n", NetLastError());
    return kBadSocket;
  }
  if (NetSetReuseAddress(listener.Get()) != 0) {
    WriteLog("failed to set SO_REUSEADDR socket option.(error code = %d)\n", NetLastError());
  } else if (NetBindAddress(listener.Get(), address.networkOrder, listenPort) != 0) {
    WriteLog("failed to bind to port %d. (error code = %d)\n", listenPort, NetLastError());
  } else if (NetListen(listener.Get(), kListenBacklog) != 0) {
    WriteLog("failed to listen the server socket. (error code = %d)\n", NetLastError());
  } else {
    return listener.Release();
  }
  return kBadSocket;
}

// Waits a second at a time until a connection can be accepted or a stop is
// requested; the accepted socket, or kBadSocket when accept failed or a stop
// came first.
Socket AcceptNext(Socket listener, PeerAddress* peer) {
  while (!StopRequested()) {
    int ready = NetWaitReadable(listener, Timing().waitMs);
    if (ready == 1) return NetAccept(listener, peer);
    if (ready < 0) SleepMilliseconds(Timing().waitMs);
  }
  return kBadSocket;
}

// A failure of one queued connection took that connection off the queue, so
// trying again at once cannot spin, and pausing would let a peer that resets
// its connections hold up everyone behind it. A cause that lasts (no
// descriptor left, say) fails every try: then a pause between tries.
bool PauseAfterAcceptFailure(int error, int failuresInRow) {
  switch (NetAcceptFailure(error)) {
    case AcceptFailure::kConnection:
      return false;
    case AcceptFailure::kResources:
      return true;
    case AcceptFailure::kOther:
      break;
  }
  return failuresInRow >= kAcceptFailuresBeforePause;
}

void ServeConnection(Socket client, const PeerAddress& peer) {
  char dotted[16];
  NetFormatAddress(peer, dotted, sizeof dotted);
  WriteLog("connecton request from %s accepted.\n", dotted);
  if (AssignWorkerSlot(client, peer, WorkerThread) != 0) WriteLog("failed to process the request.\n");
}

void EndRunningSessions() {
  for (WorkerSlot& slot : workerSlots) {
    if (BeginSlotEnd(slot)) FinishSlotEnd(slot);
  }
}

int InitSockets() {
  int major = 0, minor = 0;
  if (NetStartup(1, 1, &major, &minor) != 0) return 1;
  if (major == 1 && minor == 1) return 0;
  NetCleanup();
  return 1;
}

int ListenLoop() {
  Socket listener = OpenListener();
  if (!IsOpenSocket(listener)) return 1;
  int failuresInRow = 0;
  while (!StopRequested()) {
    WriteLog("waiting for next client request...\n");
    PeerAddress peer{};
    Socket client = AcceptNext(listener, &peer);
    if (StopRequested()) {
      // Accepted in the pass that saw the stop: not served, so not kept open.
      if (IsOpenSocket(client)) NetClose(client);
      break;
    }
    if (!IsOpenSocket(client)) {
      int error = NetLastError();
      // One line for a burst of failures.
      if (failuresInRow == 0) {
        WriteLog("failed to accept the server socket. (error code = %d)\n", error);
      }
      failuresInRow = std::min(failuresInRow + 1, kAcceptFailuresBeforePause);
      if (PauseAfterAcceptFailure(error, failuresInRow)) SleepMilliseconds(Timing().waitMs);
      continue;
    }
    failuresInRow = 0;
    ServeConnection(client, peer);
  }
  NetClose(listener);
  return 0;
}

void WaitForThreads() {
  while (watchdogRunning.load() == 1) {
    WriteLog("waiting for watchdog thread dies.\n");
    SleepMilliseconds(Timing().shutdownStepMs);
  }
  EndRunningSessions();
  int waited = 0;
  bool busy = true;
  while (busy && waited < kWorkerWaitLimit) {
    busy = false;
    for (const WorkerSlot& slot : workerSlots) {
      if (SlotFree(slot)) continue;
      busy = true;
      WriteLog("waiting for worker threads die.\n");
      ++waited;
      SleepMilliseconds(Timing().shutdownStepMs);
    }
  }
}

}  // namespace

int RunServer() {
  ClearLocalStop();
  if (InitSockets() != 0) {
    WriteLog("socket environment initialization failed.\n");
    return 1;
  }
  int result = 1;
  if (StartWatchdog() != 0) {
    WriteLog("failed to create watchdog thread.\n");
  } else {
    result = ListenLoop();
    // A listener that never started must still bring the watchdog down.
    if (result != 0) RequestLocalStop();
    WaitForThreads();
  }
  NetCleanup();
  return result;
}
