#include "platform/threads.h"

#include <process.h>
#include <windows.h>

#include "platform/thread_start.h"

namespace {

unsigned __stdcall RunThread(void* raw) {
  RunThreadStart(raw);
  return 0;
}

}  // namespace

int StartThreadWithStack(ThreadFunction function, void* argument, std::size_t stackBytes) {
  ThreadStart* start = NewThreadStart(function, argument);
  if (start == nullptr) return kThreadNotStarted;
  unsigned id = 0;
  uintptr_t handle = _beginthreadex(nullptr, static_cast<unsigned>(stackBytes), RunThread, start,
                                    STACK_SIZE_PARAM_IS_A_RESERVATION, &id);
  if (handle == 0) {
    delete start;
    return kThreadNotStarted;
  }
  CloseHandle(reinterpret_cast<HANDLE>(handle));
  // Thread ids are multiples of four, so none reads as kThreadNotStarted.
  return static_cast<int>(id);
}

void SleepMilliseconds(int milliseconds) {
  Sleep(static_cast<DWORD>(milliseconds));
}
