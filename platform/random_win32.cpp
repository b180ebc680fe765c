#include "platform/random.h"

#include <windows.h>

#include <bcrypt.h>

#include <climits>

bool FillRandomBytes(void* buffer, std::size_t size) {
  if (size > ULONG_MAX) return false;
  auto* bytes = static_cast<PUCHAR>(buffer);
  auto count = static_cast<ULONG>(size);
  if (BCRYPT_SUCCESS(BCryptGenRandom(nullptr, bytes, count, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
    return true;
  }
  // Windows Vista knows only an explicitly opened generator.
  BCRYPT_ALG_HANDLE generator = nullptr;
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&generator, BCRYPT_RNG_ALGORITHM, nullptr, 0))) {
    return false;
  }
  bool filled = BCRYPT_SUCCESS(BCryptGenRandom(generator, bytes, count, 0));
  BCryptCloseAlgorithmProvider(generator, 0);
  return filled;
}
