#include "seghub/seghub.h"

#include <windows.h>

namespace {

constexpr const char* kSegmentName = "VantorSharedSegment";

CRITICAL_SECTION mappingLock;
HANDLE section = nullptr;
void* mapping = nullptr;

void* MapSegment() {
  section = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                               SEGHUB_SEGMENT_SIZE, kSegmentName);
  if (section == nullptr) return nullptr;
  void* block = MapViewOfFile(section, FILE_MAP_ALL_ACCESS, 0, 0, SEGHUB_SEGMENT_SIZE);
  if (block == nullptr) {
    CloseHandle(section);
    section = nullptr;
  }
  return block;
}

}  // namespace

void* AllocSharedMemoryMap(void) {
  EnterCriticalSection(&mappingLock);
  if (mapping == nullptr) mapping = MapSegment();
  void* result = mapping;
  LeaveCriticalSection(&mappingLock);
  return result;
}

void FreeSharedMemoryMap(void) {
  EnterCriticalSection(&mappingLock);
  if (mapping != nullptr) {
    UnmapViewOfFile(mapping);
    CloseHandle(section);
  }
  mapping = nullptr;
  section = nullptr;
  LeaveCriticalSection(&mappingLock);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) InitializeCriticalSection(&mappingLock);
  if (reason == DLL_PROCESS_DETACH) DeleteCriticalSection(&mappingLock);
  return TRUE;
}
