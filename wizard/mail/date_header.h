// The Date header line of a message.
#pragma once
#include <cstddef>

#include "platform/clock.h"

// "Date: Sun, 6 Dec 2026 13:45:07 +0900" for the time given; the length, or
// 0 when it does not fit the buffer.
std::size_t FormatDateLine(const LocalTimeParts& time, char* buffer, std::size_t size);
