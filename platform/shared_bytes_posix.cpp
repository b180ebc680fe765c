#include "platform/shared_bytes.h"

#include <setjmp.h>
#include <signal.h>

#include <mutex>

namespace {

// A page of a shared mapping beyond the end of its (truncated) object raises
// SIGBUS on access. The fault of an access below jumps back to it; every
// other SIGBUS goes on to the action that was there before.
struct GuardedAccess {
  sigjmp_buf landing;
  const volatile void* byte;
};
thread_local GuardedAccess* accessInProgress = nullptr;
struct sigaction previousAction {};

void PassOn(int signal, siginfo_t* info, void* context) {
  if ((previousAction.sa_flags & SA_SIGINFO) != 0) {
    previousAction.sa_sigaction(signal, info, context);
  } else if (previousAction.sa_handler == SIG_DFL) {
    // The default ends the process: a fault runs again into it once the
    // handler returns, a signal sent from outside is raised again.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigaction(SIGBUS, &fallback, nullptr);
    if (info->si_code <= 0) raise(SIGBUS);
  } else if (previousAction.sa_handler != SIG_IGN) {
    previousAction.sa_handler(signal);
  }
}

void OnBusError(int signal, siginfo_t* info, void* context) {
  GuardedAccess* access = accessInProgress;
  // Only the guarded byte's own fault: a SIGBUS sent by another process,
  // even during the access, says nothing about the segment.
  if (access != nullptr && info->si_code == BUS_ADRERR && info->si_addr == access->byte) {
    siglongjmp(access->landing, 1);
  }
  PassOn(signal, info, context);
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
bool Guarded(const volatile void* byte, Access access) {
  InstallHandler();
  GuardedAccess guard;
  guard.byte = byte;
  if (sigsetjmp(guard.landing, 1) != 0) {
    accessInProgress = nullptr;
    return false;
  }
  accessInProgress = &guard;
  access();
  accessInProgress = nullptr;
  return true;
}

}  // namespace

bool LoadSharedByte(const unsigned char* byte, unsigned char* value) {
  return Guarded(byte, [&] { *value = __atomic_load_n(byte, __ATOMIC_SEQ_CST); });
}

bool StoreSharedByte(unsigned char* byte, unsigned char value) {
  return Guarded(byte, [&] { __atomic_store_n(byte, value, __ATOMIC_SEQ_CST); });
}
