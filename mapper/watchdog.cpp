#include "mapper/watchdog.h"

#include "mapper/log.h"
#include "mapper/server.h"
#include "mapper/shared_segment.h"
#include "mapper/timing.h"
#include "mapper/worker_slots.h"
#include "platform/threads.h"

std::atomic<int> watchdogRunning{0};

namespace {

void AgeSession(WorkerSlot& slot) {
  int before = slot.idleSeconds.fetch_add(1);
  if (before <= kIdleLimitPasses || !BeginSlotEnd(slot)) return;
  WriteLog("watchdog: socket of thread %d is dead.\n", slot.index);
  FinishSlotEnd(slot);
}

void WatchdogThread(void*) {
  WriteLog("threads watchdog thread started.\n");
  while (!StopRequested()) {
    SleepMilliseconds(Timing().waitMs);
    for (WorkerSlot& slot : workerSlots) {
      if (SessionActive(slot)) AgeSession(slot);
    }
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
  if (StartThread(WatchdogThread, nullptr) != -1) return 0;
  watchdogRunning = 0;
  return 1;
}
