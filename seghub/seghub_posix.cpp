#include "seghub/seghub.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace {

constexpr const char* kSegmentName = "vantor_shared_segment";
// Where POSIX shared memory lives on Linux. Anyone may make files there,
// so another user can take the name first; a folder of the owner's own in
// VNTR_SEGMENT_DIR keeps the segment out of their reach.
constexpr const char* kSharedMemoryFolder = "/dev/shm";
constexpr const char* kFolderVariable = "VNTR_SEGMENT_DIR";
// Only the user who made the segment may open it: whoever can open it can
// stop the mapper, or cut the segment short under it.
constexpr mode_t kSegmentMode = 0600;
// An unlink between our failed create and our open starts the race anew.
constexpr int kOpenAttempts = 3;

std::mutex mappingLock;
void* mapping = nullptr;

std::string SegmentPath() {
  const char* folder = std::getenv(kFolderVariable);
  return std::string(folder != nullptr && *folder != '\0' ? folder : kSharedMemoryFolder) + "/" +
         kSegmentName;
}

// The caller's own message is fixed and may not even be shown; this says why.
void Refuse(const std::string& path, const char* reason) {
  std::fprintf(stderr, "seghub: %s: %s\n", path.c_str(), reason);
}

// A segment just made: fchmod sets its mode whatever the umask took away.
int Prepared(const std::string& path, int fd) {
  if (fchmod(fd, kSegmentMode) == 0 && ftruncate(fd, SEGHUB_SEGMENT_SIZE) == 0) return fd;
  Refuse(path, std::strerror(errno));
  close(fd);
  unlink(path.c_str());
  return -1;
}

// Someone else's segment, or one that others can open, may be held open by
// another user, who could then write it or cut it short.
const char* Distrust(int fd) {
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return "not a shared memory object";
  if (status.st_uid != geteuid() || (status.st_mode & 077) != 0) {
    return "belongs to another user or is open to others";
  }
  // Empty: its maker has not sized it yet, and sizing it twice does no harm.
  if (status.st_size == 0 && ftruncate(fd, SEGHUB_SEGMENT_SIZE) == 0) return nullptr;
  return status.st_size == SEGHUB_SEGMENT_SIZE ? nullptr : "not of the segment's size";
}

int Checked(const std::string& path, int fd) {
  const char* reason = Distrust(fd);
  if (reason == nullptr) return fd;
  Refuse(path, reason);
  close(fd);
  return -1;
}

// As shm_open opens its objects: never through a symbolic link.
int OpenSegment() {
  std::string path = SegmentPath();
  constexpr int kFlags = O_RDWR | O_NOFOLLOW | O_CLOEXEC;
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    int fd = open(path.c_str(), kFlags | O_CREAT | O_EXCL, kSegmentMode);
    if (fd >= 0) return Prepared(path, fd);
    if (errno != EEXIST) break;
    fd = open(path.c_str(), kFlags);
    if (fd >= 0) return Checked(path, fd);
    if (errno != ENOENT) break;
  }
  Refuse(path, std::strerror(errno));
  return -1;
}

void* MapSegment() {
  int fd = OpenSegment();
  if (fd < 0) return nullptr;
  void* block = mmap(nullptr, SEGHUB_SEGMENT_SIZE, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
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
