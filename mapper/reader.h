// The reader thread of a logged-in session: it forwards the telnet server's
// output to the front end.
#pragma once

// Forwards the telnet server's output to the front end, byte for byte, until
// the session ends; the argument is the slot.
void ReaderThread(void* slot);
