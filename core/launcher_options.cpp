#include "core/launcher_options.h"

#include <cstring>

#include "core/installer_paths.h"

namespace core {

LaunchMode ChooseLaunchMode(const char* commandLine, char (&option)[kOptionArea]) {
  option[0] = '\0';
  if (commandLine == nullptr) return LaunchMode::Default;
  const std::size_t length = std::strlen(commandLine);
  if (length < 2) return LaunchMode::Default;

  const char dash = commandLine[length - 2];
  const char letter = commandLine[length - 1];
  if (dash != '-') return LaunchMode::Default;

  LaunchMode mode;
  if (letter == 's' || letter == 'S') {
    mode = LaunchMode::Silent;
  } else if (letter == 'd' || letter == 'D') {
    mode = LaunchMode::Diagnostic;
  } else {
    return LaunchMode::Default;
  }
  option[0] = dash;
  option[1] = letter;
  option[2] = '\0';
  return mode;
}

unsigned long LauncherExitCode(LaunchMode mode, LauncherResult result) {
  if (mode != LaunchMode::Silent) return 0;
  // A failure must never read as success, whatever error the platform gave.
  auto orFallback = [&](unsigned long fallback) {
    return result.code != 0 ? result.code : fallback;
  };
  switch (result.outcome) {
    case LauncherOutcome::NoModule:
      return 0;
    case LauncherOutcome::AlreadyRunning:
      return kExitInstallAlreadyRunning;
    case LauncherOutcome::PayloadMissing:
      return kExitResourceNameNotFound;
    case LauncherOutcome::PayloadUnloadable:
      return kExitResourceDataNotFound;
    case LauncherOutcome::CreateFailed:
      return orFallback(kErrorCannotMake);
    case LauncherOutcome::WriteFailed:
      return orFallback(kExitWriteFault);
    case LauncherOutcome::Replaced:
      return kExitFileInvalid;
    case LauncherOutcome::StartFailed:
      return orFallback(kExitGenFailure);
    case LauncherOutcome::Ran:
      return result.code;
  }
  return kExitGenFailure;
}

}  // namespace core
