// The camera driver's instance record on the host's registry: the core's
// lookups bound to HKEY_LOCAL_MACHINE. Each program passes its own masks.
#pragma once

#include <windows.h>

#include "common/win/unique.h"
#include "core/driver_registry_rules.h"

namespace driver_registry {

class Win32Registry final : public core::RegistryHost {
 public:
  core::OpenStatus Open(const char* path, std::uint32_t mask, Key* key) override;
  bool Query(Key key, const char* name, void* data, std::uint32_t capacity,
             std::uint32_t* size) override;
  void Close(Key key) override;

  static HKEY ToHkey(Key key) { return reinterpret_cast<HKEY>(key); }
  static Key FromHkey(HKEY key) { return reinterpret_cast<Key>(key); }
};

// Runs the view probe and opens the Driver key; empty when it cannot be opened.
win::unique_hkey OpenDriverKey(const core::AccessMasks& masks);

// The first readable instance path below an open Driver key (or none).
bool LookUpInstance(HKEY driverKey, core::InstancePath* path);

// rotasync's description lookup: "DriverDesc" of the first existing instance.
int GetDriverDescription(char (&description)[core::kValueArea]);

}  // namespace driver_registry
