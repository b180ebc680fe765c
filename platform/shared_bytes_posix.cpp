#include "platform/shared_bytes.h"

#include <setjmp.h>
#include <signal.h>

#include <mutex>

namespace {

// A page of a shared mapping beyond the end of its (truncated) object raises
// SIGBUS on access. Inside an access below, the handler jumps back to it;
// any other SIGBUS goes to the handler that was there before.
thread_local sigjmp_buf* accessInProgress = nullptr;
struct sigaction previousAction {};

void OnBusError(int, siginfo_t*, void*) {
  if (accessInProgress != nullptr) siglongjmp(*accessInProgress, 1);
  // Back to the earlier handler; the faulting access then runs again into it.
  sigaction(SIGBUS, &previousAction, nullptr);
}

void InstallHandler() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &previousAction);
  });
}

template <typename Access>
bool Guarded(Access access) {
  InstallHandler();
  sigjmp_buf landing;
  if (sigsetjmp(landing, 1) != 0) {
    accessInProgress = nullptr;
    return false;
  }
  accessInProgress = &landing;
  access();
  accessInProgress = nullptr;
  return true;
}

}  // namespace

bool LoadSharedByte(const unsigned char* byte, unsigned char* value) {
  return Guarded([&] { *value = __atomic_load_n(byte, __ATOMIC_SEQ_CST); });
}

bool StoreSharedByte(unsigned char* byte, unsigned char value) {
  return Guarded([&] { __atomic_store_n(byte, value, __ATOMIC_SEQ_CST); });
}
