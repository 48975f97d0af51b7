#include "common/driver_registry/driver_registry.h"

namespace driver_registry {

core::OpenStatus Win32Registry::Open(const char* path, std::uint32_t mask, Key* key) {
  HKEY opened = nullptr;
  const LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, mask, &opened);
  if (status == ERROR_SUCCESS) {
    *key = FromHkey(opened);
    return core::OpenStatus::Opened;
  }
  return status == ERROR_INVALID_PARAMETER ? core::OpenStatus::Rejected : core::OpenStatus::Failed;
}

bool Win32Registry::Query(Key key, const char* name, void* data, std::uint32_t capacity,
                          std::uint32_t* size) {
  DWORD type = 0;
  DWORD bytes = capacity;
  if (RegQueryValueExA(ToHkey(key), name, nullptr, &type, static_cast<BYTE*>(data), &bytes) !=
          ERROR_SUCCESS ||
      bytes > capacity)
    return false;
  *size = bytes;
  return true;
}

void Win32Registry::Close(Key key) { RegCloseKey(ToHkey(key)); }

win::unique_hkey OpenDriverKey(const core::AccessMasks& masks) {
  Win32Registry host;
  core::RegistryHost::Key key = 0;
  core::OpenDriverKey(host, masks, core::kDriverKeyPath, &key);
  return win::unique_hkey(Win32Registry::ToHkey(key));
}

bool LookUpInstance(HKEY driverKey, core::InstancePath* path) {
  Win32Registry host;
  return core::LookUpInstance(host, Win32Registry::FromHkey(driverKey), path);
}

}  // namespace driver_registry
