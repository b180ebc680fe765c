// The 64 worker slots: one per front-end connection and its session.
//
// A slot's life: free -> in use (a session runs) -> ending (the session was
// ended; its threads are leaving) -> free. Every thread of a session, and the
// session itself, holds the slot; the last holder to let go closes the
// connections and frees the slot. So a late thread of an ended session never
// sees its slot handed to the next connection, and a handle is never closed
// while a thread of the session may still use it.
#pragma once
#include <atomic>

#include "platform/net.h"
#include "platform/threads.h"

constexpr int kWorkerSlotCount = 64;

// The phase of a slot, in the low two bits of its inUse word.
constexpr unsigned kSlotFree = 0;
constexpr unsigned kSlotInUse = 1;
constexpr unsigned kSlotEnding = 2;
constexpr unsigned kSlotPhaseMask = 3;
// One session in the count kept above the phase.
constexpr unsigned kOneSession = kSlotPhaseMask + 1;

struct WorkerSlot {
  int index;
  int workerThread;
  // The phase, and above it the count of sessions the slot was given, so
  // that whoever saw one session can end that session and never the next.
  std::atomic<unsigned> inUse;
  std::atomic<int> idleSeconds;
  std::atomic<Socket> clientSocket;
  PeerAddress clientAddress;
  char loginTag[90];
  char hostName[90];
  char service[10];
  char userId[20];
  char password[20];
  std::atomic<Socket> telnetSocket;
  int readerThread;
  std::atomic<int> holders;
};

extern WorkerSlot workerSlots[kWorkerSlotCount];

// Numbers the slots and marks them all free, with no connections.
void ResetWorkerSlots();

// Gives the connection to the first free slot and starts worker(slot) for
// it: 0, or 1 when no slot is free (the connection is then closed) or no
// thread started (the slot then keeps the connection until the watchdog ends
// it).
int AssignWorkerSlot(Socket client, const PeerAddress& peer, ThreadFunction worker);

inline unsigned SlotPhase(unsigned inUse) {
  return inUse & kSlotPhaseMask;
}
inline bool SessionActive(const WorkerSlot& slot) {
  return SlotPhase(slot.inUse.load()) == kSlotInUse;
}
inline bool SlotFree(const WorkerSlot& slot) {
  return SlotPhase(slot.inUse.load()) == kSlotFree;
}

// Moves an active session to ending; true for the one caller that did so,
// which must then call FinishSlotEnd.
bool BeginSlotEnd(WorkerSlot& slot);
// The same for the session whose inUse word was seen; false when that
// session is no longer the slot's.
bool BeginSlotEndOf(WorkerSlot& slot, unsigned seen);
// Ends both connections at once (waking the session's threads) and lets go
// of the session's hold on the slot.
void FinishSlotEnd(WorkerSlot& slot);

// A thread of the session takes a hold before it starts and lets go as its
// last act; the last one out frees the slot.
void HoldSlot(WorkerSlot& slot);
void ReleaseSlot(WorkerSlot& slot);

// Slots not free: sessions running or threads still leaving.
int OccupiedSlotCount();
