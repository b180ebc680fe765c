// Threads with a chosen stack size, and sleeping.
#pragma once
#include <cstddef>

using ThreadFunction = void (*)(void* argument);

// Starts a detached thread running function(argument) on a stack of
// stackBytes. Returns a positive thread id, or -1 when no thread started.
int StartThreadWithStack(ThreadFunction function, void* argument, std::size_t stackBytes);

void SleepMilliseconds(int milliseconds);
