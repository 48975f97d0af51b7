// The driver record as hostile bytes: any InstanceIndex, any ii%04d values,
// any DriverDesc, through both lookups and everything derived from a path.
#include <cstring>
#include <string>

#include "../unit/fake_registry.h"
#include "core/driver_registry_rules.h"
#include "core/shell_path.h"
#include "fuzz_input.h"

namespace {

const char kDevice[] =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0000";

void Derive(const char* path) {
  char number[5];
  core::DeviceNumber(path, number);
  char settings[256];
  core::SettingsKeyPath(path, settings);
  char device[256];
  core::DeviceKeyPath(path, device);
  char shell[256];
  core::BuildShellPath(path, shell);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  FakeRegistry reg;
  reg.rejectBothViews = in.Byte() & 1;
  reg.AddKey(core::kViewProbePath);
  reg.AddKey(core::kDriverKeyPath);
  reg.AddKey(kDevice);
  reg.SetBytes(core::kDriverKeyPath, "InstanceIndex", in.Piece());
  for (int n = 1; n <= 4 && !in.Empty(); ++n) {
    char name[16];
    core::InstanceValueName(static_cast<std::uint32_t>(in.Byte() % 8), name);
    reg.SetBytes(core::kDriverKeyPath, name, in.Piece());
  }
  reg.SetBytes(kDevice, "DriverDesc", in.Piece());

  core::RegistryHost::Key key = 0;
  core::OpenDriverKey(reg, core::kToolMasks, core::kDriverKeyPath, &key);
  core::InstancePath found;
  if (core::LookUpInstance(reg, key, &found)) Derive(found.text);
  if (key) reg.Close(key);

  char description[256];
  description[0] = '\0';
  core::GetDriverDescription(reg, description);
  if (std::memchr(description, 0, sizeof description) == nullptr) __builtin_trap();
  if (reg.openKeys != 0) __builtin_trap();  // every key closed on every path
  return 0;
}
