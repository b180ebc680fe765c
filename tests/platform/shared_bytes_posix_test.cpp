#include "platform/shared_bytes.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// A page of a shared mapping whose object its owner then cut to nothing:
// every access to it raises SIGBUS.
unsigned char* CutSharedPage() {
  int fd = memfd_create("cut-segment", 0);
  void* page = ftruncate(fd, 4096) == 0
                   ? mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                   : MAP_FAILED;
  bool cut = ftruncate(fd, 0) == 0;
  close(fd);
  return page == MAP_FAILED || !cut ? nullptr : static_cast<unsigned char*>(page);
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
