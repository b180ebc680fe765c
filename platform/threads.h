// Threads with a chosen stack size, and sleeping.
#pragma once
#include <cstddef>

using ThreadFunction = void (*)(void* argument);

// What StartThreadWithStack returns when no thread started. A started thread
// gets an id that is never this value.
constexpr int kThreadNotStarted = -1;

// Starts a detached thread running function(argument) on a stack of
// stackBytes. Returns the thread's id, or kThreadNotStarted.
int StartThreadWithStack(ThreadFunction function, void* argument, std::size_t stackBytes);

void SleepMilliseconds(int milliseconds);
