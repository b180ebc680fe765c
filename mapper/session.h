// The session of one front-end connection: the worker thread that serves its
// requests, and the end of the session that any of its threads may bring.
#pragma once

struct WorkerSlot;

// The room of a session's line buffers: the front end's request and field
// lines (at most one byte less, with the terminator) and the forwarded output.
constexpr int kLineRoom = 2048;

// Runs the connection's request loop on its slot; the argument is the slot.
void WorkerThread(void* slot);

// Ends the slot's session: both connections closed, the slot on its way to
// free. Any thread of the session may call it, more than once.
void EndSession(WorkerSlot& slot);
