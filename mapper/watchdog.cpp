#include "mapper/watchdog.h"

#include "mapper/log.h"
#include "mapper/shared_segment.h"
#include "mapper/start_thread.h"
#include "mapper/timing.h"
#include "mapper/worker_slots.h"
#include "platform/threads.h"

std::atomic<int> watchdogRunning{0};

namespace {

// Only the session whose state was read before its count can be ended: a
// slot freed and given to a new connection meanwhile keeps the new session.
void AgeSession(WorkerSlot& slot) {
  unsigned seen = slot.inUse.load();
  if (SlotPhase(seen) != kSlotInUse) return;
  int before = slot.idleSeconds.fetch_add(1);
  if (before <= kIdleLimitPasses || !BeginSlotEndOf(slot, seen)) return;
  WriteLog("watchdog: socket of thread %d is dead.\n", slot.index);
  FinishSlotEnd(slot);
}

void WatchdogThread(void*) {
  WriteLog("threads watchdog thread started.\n");
  while (!StopRequested()) {
    SleepMilliseconds(Timing().waitMs);
    for (WorkerSlot& slot : workerSlots) AgeSession(slot);
  }
  WriteLog("threads watchdog thread ended.\n");
  watchdogRunning = 0;
}

}  // namespace

int StartWatchdog() {
  ResetWorkerSlots();
  // Marked before the thread starts, so that the shutdown never misses a
  // watchdog that has not yet run its first statement.
  watchdogRunning = 1;
  if (StartThread(WatchdogThread, nullptr) != kThreadNotStarted) return 0;
  watchdogRunning = 0;
  return 1;
}
