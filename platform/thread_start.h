// What a new thread is handed: the function and its argument, on the heap
// until the thread has taken them. Shared by the POSIX and Windows starts.
#pragma once
#include <new>

#include "platform/threads.h"

struct ThreadStart {
  ThreadFunction function;
  void* argument;
};

// Null when there is no memory for it.
inline ThreadStart* NewThreadStart(ThreadFunction function, void* argument) {
  return new (std::nothrow) ThreadStart{function, argument};
}

// Runs in the new thread: frees the start, then runs its function.
inline void RunThreadStart(void* raw) {
  ThreadStart start = *static_cast<ThreadStart*>(raw);
  delete static_cast<ThreadStart*>(raw);
  start.function(start.argument);
}
