// The watchdog: once a pass it ages every running session and ends those
// whose counter has run out.
#pragma once
#include <atomic>

extern std::atomic<int> watchdogRunning;

// Resets the slot table and starts the watchdog thread: 0, or 1 when the
// thread did not start.
int StartWatchdog();
