#include "mapper/listen_address.h"

#include "mapper/settings_key.h"
#include "platform/net.h"
#include "platform/registry.h"

namespace {

constexpr std::uint32_t kNotAnAddress = 0xFFFFFFFF;  // NetParseDotted's INADDR_NONE

long ReadSetting(char* text) {
  RegistryKey key = nullptr;
  long result =
      RegistryOpenInstalledKey(kMapperKey, kListenAddressValue, RegistryAccess::kQuery, &key);
  if (result != kRegistryOk) return result;
  result = RegistryGetString(key, kListenAddressValue, text, kListenAddressRoom);
  RegistryCloseKey(key);
  return result;
}

}  // namespace

ListenAddress ConfiguredListenAddress() {
  ListenAddress address{kRegistryOk, 0, ""};
  long result = ReadSetting(address.text);
  // Only a setting that is not there opens every interface: one that cannot
  // be read or understood must not widen what the mapper exposes.
  if (result == kRegistryNotFound) result = kRegistryOk;
  if (result != kRegistryOk) {
    address.text[0] = '\0';
    address.result = result;
    return address;
  }
  if (address.text[0] == '\0') return address;
  address.networkOrder = NetParseDotted(address.text);
  if (address.networkOrder == kNotAnAddress) address.result = kRegistryInvalidData;
  return address;
}
