#include "rotasync/watcher.h"

#include "common/driver_registry/driver_registry.h"
#include "common/win/unique.h"

namespace {

struct WatchTarget {
  HWND window;
  HANDLE event;
};

// There is one watcher per process; its start parameters live here.
WatchTarget g_watchTarget;

constexpr DWORD kSnapShotSignal = 2;

// Arms the wake-up for the next change of any value in the key or below it.
// The event is cleared first so that no host can leave it signalled and turn
// the wait into a busy loop.
bool Arm(HKEY settings, HANDLE event) {
  ResetEvent(event);
  return RegNotifyChangeKeyValue(settings, TRUE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE) ==
         ERROR_SUCCESS;
}

DWORD ReadSnapShotState(HKEY settings) {
  DWORD state = 0;
  DWORD size = sizeof state;
  if (RegQueryValueExA(settings, "SnapShotState", nullptr, nullptr, reinterpret_cast<BYTE*>(&state),
                       &size) != ERROR_SUCCESS)
    return 0;
  return state;
}

bool OpenSettingsKey(win::unique_hkey* settings) {
  core::InstancePath instance;
  {
    const win::unique_hkey driverKey = driver_registry::OpenDriverKey(core::kMonitorMasks);
    if (!driver_registry::LookUpInstance(driverKey.get(), &instance)) return false;
  }
  char path[core::kValueArea];
  if (!core::SettingsKeyPath(instance.text, path)) return false;
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, settings->put()) == ERROR_SUCCESS;
}

}  // namespace

bool StartSnapshotWatcher(HWND window, HANDLE event) {
  win::unique_event own;
  if (!DuplicateHandle(GetCurrentProcess(), event, GetCurrentProcess(), own.put(), 0, FALSE,
                       DUPLICATE_SAME_ACCESS))
    return false;
  g_watchTarget = WatchTarget{window, own.get()};
  const win::unique_handle thread(
      CreateThread(nullptr, 0, WatchSnapshotState, &g_watchTarget, 0, nullptr));
  if (!thread) return false;
  own.release();  // the thread owns it now
  return true;
}

DWORD WINAPI WatchSnapshotState(LPVOID parameter) {
  const WatchTarget* target = static_cast<const WatchTarget*>(parameter);
  const HWND window = target->window;
  const win::unique_event event(target->event);

  win::unique_hkey settings;
  if (!OpenSettingsKey(&settings)) return 0;

  // A registration or wait that fails will fail again: stop rather than spin.
  for (;;) {
    if (!Arm(settings.get(), event.get())) return 0;
    if (WaitForSingleObject(event.get(), INFINITE) != WAIT_OBJECT_0) return 0;
    if (ReadSnapShotState(settings.get()) == kSnapShotSignal)
      PostMessageA(window, g_nRotateNotifyMsg, 0, 0);
  }
}
