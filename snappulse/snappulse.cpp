// snappulse: one snapshot signal through the camera's "SnapShotState" value:
// 2, half a second, then 0.
#include <windows.h>

#include "common/driver_registry/driver_registry.h"

namespace {

void WriteSnapShotState(HKEY settings, DWORD value) {
  // A failed write is not reported; the pulse goes on regardless.
  RegSetValueExA(settings, "SnapShotState", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                 sizeof value);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  core::InstancePath instance;
  {
    const win::unique_hkey driverKey = driver_registry::OpenDriverKey(core::kToolMasks);
    if (!driver_registry::LookUpInstance(driverKey.get(), &instance)) return 0;
  }

  char settingsPath[core::kValueArea];
  if (!core::SettingsKeyPath(instance.text, settingsPath)) return 0;

  win::unique_hkey settings;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, settingsPath, 0, KEY_ALL_ACCESS, settings.put()) !=
      ERROR_SUCCESS)
    return 0;

  WriteSnapShotState(settings.get(), 2);
  Sleep(500);
  WriteSnapShotState(settings.get(), 0);
  return 0;
}
