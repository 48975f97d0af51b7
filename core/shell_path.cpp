#include "core/shell_path.h"

#include <cstdio>

#include "core/driver_registry_rules.h"

namespace core {

// Both paths always fit: a constant, and the format with at most four
// characters in place of its "%s".
static_assert(sizeof kCameraShellPathFormat - 2 + kDeviceNumberLength <= kShellPathArea);
static_assert(sizeof kMyComputerShellPath <= kShellPathArea);

void BuildShellPath(const char* instancePath, char (&out)[kShellPathArea]) {
  if (instancePath == nullptr) {
    (void)std::snprintf(out, sizeof out, "%s", kMyComputerShellPath);
    return;
  }
  char number[kDeviceNumberLength + 1];
  DeviceNumber(instancePath, number);
  (void)std::snprintf(out, sizeof out, kCameraShellPathFormat, number);
}

}  // namespace core
