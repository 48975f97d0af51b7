#include "core/shell_path.h"

#include <cstdio>

#include "core/driver_registry_rules.h"

namespace core {

void BuildShellPath(const char* instancePath, char (&out)[kShellPathArea]) {
  if (instancePath == nullptr) {
    std::snprintf(out, sizeof out, "%s", kMyComputerShellPath);
    return;
  }
  char number[kDeviceNumberLength + 1];
  DeviceNumber(instancePath, number);
  std::snprintf(out, sizeof out, kCameraShellPathFormat, number);
}

}  // namespace core
