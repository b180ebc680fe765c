// Starting the mapper's threads: the listener's watchdog, the workers and
// the readers all run on small stacks of one size.
#pragma once
#include "platform/threads.h"

// Every thread of the mapper runs on a stack of this size.
constexpr unsigned kThreadStackBytes = 65536;

// The thread's id, or kThreadNotStarted.
inline int StartThread(ThreadFunction function, void* argument) {
  return StartThreadWithStack(function, argument, kThreadStackBytes);
}
