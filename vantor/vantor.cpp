// vantor: opens the camera's item in the shell's Scanners and Cameras folder,
// or My Computer when no camera instance is registered.
#include <windows.h>
// after windows.h
#include <shellapi.h>

#include "common/driver_registry/driver_registry.h"
#include "common/win/ansi.h"
#include "core/shell_path.h"

namespace {

// The browser starts in the Windows folder. The fixed text is kept where that
// folder exists; a host whose Windows folder lives elsewhere gets its own, as
// the browser would not start in a directory that is not there.
void WorkingDirectory(char (&out)[MAX_PATH]) {
  static const char kFixed[] = "c:\\windows";
  const DWORD attributes = GetFileAttributesA(kFixed);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    lstrcpynA(out, kFixed, MAX_PATH);
    return;
  }
  // Read as UTF-16: by best fit its ANSI form could name another folder.
  wchar_t wide[MAX_PATH];
  const UINT length = GetWindowsDirectoryW(wide, MAX_PATH);
  if (length == 0 || length >= MAX_PATH || !win::ToAnsiExactly(wide, out))
    lstrcpynA(out, kFixed, MAX_PATH);
}

}  // namespace

// The shell call loads shell extensions by name; none may come from the
// folder vantor was started from: the entry point has restricted the DLL
// search to the system folder (SYSTEM_DLLS_ONLY).
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // The Driver key stays open across the shell call.
  const win::unique_hkey driverKey = driver_registry::OpenDriverKey(core::kToolMasks);

  core::InstancePath instance;
  const bool found = driver_registry::LookUpInstance(driverKey.get(), &instance);

  char shellPath[core::kShellPathArea];
  core::BuildShellPath(found ? instance.text : nullptr, shellPath);

  char directory[MAX_PATH];
  WorkingDirectory(directory);
  ShellExecuteA(nullptr, "open", "explorer.exe", shellPath, directory, SW_SHOWNORMAL);
  return 0;
}
