// The session of one front-end connection: the worker thread that serves its
// requests, and the reader thread that forwards the telnet output.
#pragma once

struct WorkerSlot;

// A server's refusal of the session, wherever it shows up.
constexpr const char* kRefusalText = "Not on system console";

// Runs the connection's request loop on its slot; the argument is the slot.
void WorkerThread(void* slot);

// Forwards the telnet server's output to the front end, byte for byte, until
// the session ends; the argument is the slot.
void ReaderThread(void* slot);

// Ends the slot's session: both connections closed, the slot on its way to
// free. Any thread of the session may call it, more than once.
void EndSession(WorkerSlot& slot);
