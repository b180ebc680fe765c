// Lets the compiler check the arguments of our own printf-style functions
// against their format. On Windows the check must describe the printf that
// formats the text: mingw-w64's C++ runtime formats with its own C99 printf,
// while the plain "printf" check there describes msvcrt's.
#pragma once
#include <cstdio>

#ifdef __MINGW_PRINTF_FORMAT
#define PRINTF_FORMAT(formatIndex, firstArgument) \
  __attribute__((format(__MINGW_PRINTF_FORMAT, formatIndex, firstArgument)))
#else
#define PRINTF_FORMAT(formatIndex, firstArgument) \
  __attribute__((format(printf, formatIndex, firstArgument)))
#endif
