#include "seghub/seghub.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>

namespace {

constexpr const char* kSegmentName = "/vantor_shared_segment";

std::mutex mappingLock;
void* mapping = nullptr;

void* MapSegment() {
  int fd = shm_open(kSegmentName, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  // Processes of other users of the product share it too.
  fchmod(fd, 0666);
  struct stat status {};
  bool sized = fstat(fd, &status) == 0 &&
               (status.st_size >= SEGHUB_SEGMENT_SIZE || ftruncate(fd, SEGHUB_SEGMENT_SIZE) == 0);
  void* block = sized
                    ? mmap(nullptr, SEGHUB_SEGMENT_SIZE, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                    : MAP_FAILED;
  close(fd);
  return block == MAP_FAILED ? nullptr : block;
}

}  // namespace

void* AllocSharedMemoryMap(void) {
  std::lock_guard<std::mutex> guard(mappingLock);
  if (mapping == nullptr) mapping = MapSegment();
  return mapping;
}

void FreeSharedMemoryMap(void) {
  std::lock_guard<std::mutex> guard(mappingLock);
  if (mapping != nullptr) munmap(mapping, SEGHUB_SEGMENT_SIZE);
  mapping = nullptr;
}
