// The diagnostic log: off unless switched on by a marker file or a registry
// value; each entry one line "[YYYY-MM-DD HH:MM:SS] text", written and
// flushed whole.
#pragma once
#include <cstddef>

#include "platform/printf_format.h"

bool DebugLogRequested();
void OpenLog();
void CloseLog();
bool LogIsOpen();

// printf-style; the caller ends its format with "\n" itself. The bytes the
// entry took in the log; 0 when the log is closed.
std::size_t WriteLog(const char* format, ...) PRINTF_FORMAT(1, 2);

void FormatLogTime(char* buffer, std::size_t size);
