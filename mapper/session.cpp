#include "mapper/session.h"

#include "mapper/log.h"
#include "mapper/timing.h"
#include "mapper/worker_slots.h"

namespace {

// The front end's bytes have no meaning yet: the connection is held open
// until the front end closes it or the session is ended from outside.
void HoldConnection(WorkerSlot& slot) {
  char discarded[512];
  while (SessionActive(slot)) {
    Socket client = slot.clientSocket.load();
    int ready = NetWaitReadable(client, Timing().waitMs);
    if (ready == 0) continue;
    if (ready < 0 || NetReceive(client, discarded, sizeof discarded) <= 0) {
      EndSession(slot);
      return;
    }
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
  HoldConnection(slot);
  ReleaseSlot(slot);
}
