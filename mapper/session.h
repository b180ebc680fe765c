// The session of one front-end connection.
#pragma once

struct WorkerSlot;

// Runs the connection's session on its slot; the argument is the slot.
void WorkerThread(void* slot);

// Ends the slot's session: both connections closed, the slot on its way to
// free. Any thread of the session may call it, more than once.
void EndSession(WorkerSlot& slot);
