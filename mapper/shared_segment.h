// The mapper's three bytes in the product's shared segment, and the stop
// signal that both the segment and the process itself can raise.
#pragma once

// Attaches the segment; false when it cannot be had.
bool AttachSharedSegment();
void DetachSharedSegment();

// running = 1, stopRequest = 0, statusUpdated = 1, in that order.
void AnnounceRunning();
// stopRequest = 0, running = 0, statusUpdated = 1, in that order.
void WithdrawRunning();

// Sets the stop byte for whichever mapper serves; false when the segment
// cannot be had.
bool SendStopRequest();

// A stop asked for through the segment, or by this process itself (after a
// failed start-up, or by a test).
bool StopRequested();
void RequestLocalStop();
void ClearLocalStop();
