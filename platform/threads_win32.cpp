#include "platform/threads.h"

#include <process.h>
#include <windows.h>

#include <new>

namespace {

struct ThreadStart {
  ThreadFunction function;
  void* argument;
};

unsigned __stdcall RunThread(void* raw) {
  ThreadStart start = *static_cast<ThreadStart*>(raw);
  delete static_cast<ThreadStart*>(raw);
  start.function(start.argument);
  return 0;
}

}  // namespace

int StartThreadWithStack(ThreadFunction function, void* argument, std::size_t stackBytes) {
  auto* start = new (std::nothrow) ThreadStart{function, argument};
  if (start == nullptr) return -1;
  unsigned id = 0;
  uintptr_t handle = _beginthreadex(nullptr, static_cast<unsigned>(stackBytes), RunThread, start,
                                    STACK_SIZE_PARAM_IS_A_RESERVATION, &id);
  if (handle == 0) {
    delete start;
    return -1;
  }
  CloseHandle(reinterpret_cast<HANDLE>(handle));
  return static_cast<int>(id);
}

void SleepMilliseconds(int milliseconds) {
  Sleep(static_cast<DWORD>(milliseconds));
}
