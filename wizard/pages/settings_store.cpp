#include "wizard/pages/settings_store.h"

#include "platform/registry.h"

bool IsProductInstalled() {
  RegistryKey key = nullptr;
  if (RegistryOpenKey(kProductKey, RegistryAccess::kFull, &key) != kRegistryOk) return false;
  RegistryCloseKey(key);
  return true;
}
