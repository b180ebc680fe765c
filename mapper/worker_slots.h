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

constexpr int kWorkerSlotCount = 64;

constexpr int kSlotFree = 0;
constexpr int kSlotInUse = 1;
constexpr int kSlotEnding = 2;

struct WorkerSlot {
  int index;
  int workerThread;
  std::atomic<int> inUse;
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

// Gives the connection to the first free slot and starts its worker: 0, or 1
// when no slot is free (the connection is then closed) or no thread started
// (the slot then keeps the connection until the watchdog ends it).
int AssignWorkerSlot(Socket client, const PeerAddress& peer);

inline bool SessionActive(const WorkerSlot& slot) {
  return slot.inUse.load() == kSlotInUse;
}

// Moves an active session to ending; true for the one caller that did so,
// which must then call FinishSlotEnd.
bool BeginSlotEnd(WorkerSlot& slot);
// Ends both connections at once (waking the session's threads) and lets go
// of the session's hold on the slot.
void FinishSlotEnd(WorkerSlot& slot);

// A thread of the session takes a hold before it starts and lets go as its
// last act; the last one out frees the slot.
void HoldSlot(WorkerSlot& slot);
void ReleaseSlot(WorkerSlot& slot);

// Slots not free: sessions running or threads still leaving.
int OccupiedSlotCount();
