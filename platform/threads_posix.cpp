#include "platform/threads.h"

#include <limits.h>
#include <pthread.h>
#include <time.h>

#include <atomic>
#include <cerrno>

#include "platform/thread_start.h"

namespace {

void* RunThread(void* raw) {
  RunThreadStart(raw);
  return nullptr;
}

// pthread ids are opaque; callers get a small number that names the thread.
std::atomic<int> lastThreadId{0};

}  // namespace

int StartThreadWithStack(ThreadFunction function, void* argument, std::size_t stackBytes) {
  ThreadStart* start = NewThreadStart(function, argument);
  if (start == nullptr) return kThreadNotStarted;
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  const std::size_t smallest = PTHREAD_STACK_MIN;
  if (stackBytes < smallest) stackBytes = smallest;
  pthread_attr_setstacksize(&attributes, stackBytes);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  int failed = pthread_create(&thread, &attributes, RunThread, start);
  pthread_attr_destroy(&attributes);
  if (failed) {
    delete start;
    return kThreadNotStarted;
  }
  return ++lastThreadId;
}

void SleepMilliseconds(int milliseconds) {
  timespec remaining{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}
