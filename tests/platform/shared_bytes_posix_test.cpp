#include "platform/shared_bytes.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// A page of a shared mapping whose object its owner cut to nothing: every
// access to it raises SIGBUS.
unsigned char* CutSharedPage() {
  long page = sysconf(_SC_PAGESIZE);
  int fd = memfd_create("cut-segment", 0);
  if (fd < 0 || ftruncate(fd, page) != 0) return nullptr;
  void* mapping = mmap(nullptr, page, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  bool cut = ftruncate(fd, 0) == 0;
  close(fd);
  return mapping == MAP_FAILED || !cut ? nullptr : static_cast<unsigned char*>(mapping);
}

// A SIGBUS sent from outside goes to the process's earlier action (here:
// ignore it) and leaves the guard in place for the next access.
TEST(SharedBytesDeathTest, AStraySigbusLeavesTheGuardInPlace) {
  EXPECT_EXIT(
      {
        signal(SIGBUS, SIG_IGN);
        unsigned char* byte = CutSharedPage();
        unsigned char value = 0;
        bool guarded = byte != nullptr && !LoadSharedByte(byte, &value);
        raise(SIGBUS);
        guarded = guarded && !StoreSharedByte(byte, 1) && !LoadSharedByte(byte, &value);
        _exit(guarded ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
