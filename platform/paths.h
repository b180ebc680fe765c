// Where the files that the programs name by Windows paths lie.
#pragma once
#include <string>

// A path on drive C as the programs write it ("c:vntr.txt", "c:\log.log").
// On Windows the path itself; elsewhere a file below the drive-C folder
// (VNTR_ROOT/drive_c, see the README) with backslashes made slashes.
std::string DriveCPath(const char* windowsPath);

// The process's current directory joined with a file name.
std::string CurrentDirectoryFile(const char* fileName);

#ifndef _WIN32
// The folder that holds drive C and the registry where the system has
// neither: VNTR_ROOT, or /var/lib/vntr when that is unset or empty. Read at
// every call, so that it may change while the process runs.
std::string VntrRootFolder();
#endif
