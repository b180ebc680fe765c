// Random bytes from the operating system's cryptographic source, for values
// that a host on the network must not be able to guess.
#pragma once
#include <cstddef>

// Fills size bytes; false when the source failed (buffer contents then unset).
bool FillRandomBytes(void* buffer, std::size_t size);
