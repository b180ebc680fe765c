// The product's shared memory segment: one block of kSegmentSize bytes that
// every process of the product sees at once.
//
// Windows: a named file mapping "VantorSharedSegment" backed by the paging
// file, exported from seghub.dll. Elsewhere: the file "vantor_shared_segment"
// in the folder that VNTR_SEGMENT_DIR names, or else in /dev/shm (the POSIX
// shared memory object "/vantor_shared_segment"), from libseghub. The
// segment outlives the processes that use it on Linux; on Windows it lives
// while one process has it mapped. On Linux it is made for its owner alone,
// and a segment of another owner, open to others or of another size is
// refused (with the reason on standard error): only processes of the
// mapper's own user can stop it, and in a folder of that user's own no
// other user can take the segment's name first.
#pragma once

#if defined(_WIN32) && defined(SEGHUB_BUILD)
#define SEGHUB_API __declspec(dllexport)
#elif defined(_WIN32)
#define SEGHUB_API __declspec(dllimport)
#else
#define SEGHUB_API __attribute__((visibility("default")))
#endif

#define SEGHUB_SEGMENT_SIZE 4096

#ifdef __cplusplus
extern "C" {
#endif

// The segment, mapped into this process; null when it cannot be had.
// Repeated calls return the same mapping.
SEGHUB_API void* AllocSharedMemoryMap(void);

// Unmaps the segment from this process.
SEGHUB_API void FreeSharedMemoryMap(void);

#ifdef __cplusplus
}
#endif
