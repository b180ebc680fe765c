// Clearing secrets from memory in a way the compiler may not leave out as a
// store that nothing reads again.
#pragma once
#include <cstddef>

void WipeBytes(void* data, std::size_t size);
