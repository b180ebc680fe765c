#include "mapper/worker_slots.h"

#include <cstring>

#include "mapper/log.h"
#include "mapper/start_thread.h"

WorkerSlot workerSlots[kWorkerSlotCount];

namespace {

// The session's own hold plus the hold of its worker thread.
constexpr int kHoldsOfNewSession = 2;

void ShutdownIfOpen(Socket s) {
  if (IsOpenSocket(s)) NetShutdown(s);
}

void CloseIfOpen(Socket s) {
  if (IsOpenSocket(s)) NetClose(s);
}

WorkerSlot* FirstFreeSlot() {
  for (WorkerSlot& slot : workerSlots) {
    if (SlotFree(slot)) return &slot;
  }
  return nullptr;
}

}  // namespace

void ResetWorkerSlots() {
  for (int i = 0; i < kWorkerSlotCount; ++i) {
    WorkerSlot& slot = workerSlots[i];
    slot.index = i;
    slot.inUse = kSlotFree;
    slot.holders = 0;
    slot.clientSocket = kNoSocket;
    slot.telnetSocket = kNoSocket;
  }
}

int AssignWorkerSlot(Socket client, const PeerAddress& peer, ThreadFunction worker) {
  WorkerSlot* slot = FirstFreeSlot();
  if (slot == nullptr) {
    WriteLog("no available worker thread slot.\n");
    NetClose(client);
    return 1;
  }
  slot->idleSeconds = 0;
  slot->clientSocket = client;
  slot->clientAddress = peer;
  slot->holders = kHoldsOfNewSession;
  slot->inUse = ((slot->inUse.load() & ~kSlotPhaseMask) + kOneSession) | kSlotInUse;
  slot->workerThread = StartThread(worker, slot);
  if (slot->workerThread == kThreadNotStarted) {
    WriteLog("thread creation error.\n");
    ReleaseSlot(*slot);
    return 1;
  }
  return 0;
}

bool BeginSlotEnd(WorkerSlot& slot) {
  return BeginSlotEndOf(slot, slot.inUse.load());
}

bool BeginSlotEndOf(WorkerSlot& slot, unsigned seen) {
  if (SlotPhase(seen) != kSlotInUse) return false;
  return slot.inUse.compare_exchange_strong(seen, (seen & ~kSlotPhaseMask) | kSlotEnding);
}

void FinishSlotEnd(WorkerSlot& slot) {
  ShutdownIfOpen(slot.clientSocket.load());
  ShutdownIfOpen(slot.telnetSocket.load());
  ReleaseSlot(slot);
}

void HoldSlot(WorkerSlot& slot) {
  slot.holders.fetch_add(1);
}

void ReleaseSlot(WorkerSlot& slot) {
  if (slot.holders.fetch_sub(1) != 1) return;
  CloseIfOpen(slot.clientSocket.exchange(kNoSocket));
  CloseIfOpen(slot.telnetSocket.exchange(kNoSocket));
  std::memset(slot.password, 0, sizeof slot.password);
  slot.inUse = (slot.inUse.load() & ~kSlotPhaseMask) | kSlotFree;
}

int OccupiedSlotCount() {
  int count = 0;
  for (const WorkerSlot& slot : workerSlots) count += !SlotFree(slot);
  return count;
}
