#include "mapper/server.h"

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
  bool acceptFailing = false;
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
      // While its cause lasts (no descriptor left, say) accept fails at once
      // on every pass: one line for the burst and a pause between tries.
      if (!acceptFailing) {
        WriteLog("failed to accept the server socket. (error code = %d)\n", NetLastError());
      }
      acceptFailing = true;
      SleepMilliseconds(Timing().waitMs);
      continue;
    }
    acceptFailing = false;
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
