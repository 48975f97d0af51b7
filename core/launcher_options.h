// How the launcher reads its command line: only the last two characters of
// the whole line count, so a caller can append an option to any command.
#pragma once

#include <cstddef>

namespace core {

enum class LaunchMode { Default, Silent, Diagnostic };

// Room for a two-character option and its terminator.
constexpr std::size_t kOptionArea = 3;

// Chooses the mode from the whole command line (program path included).
// `option` receives the recognised option as written ("-s", "-D", ...) or an
// empty string. A null or one-character line selects no option.
LaunchMode ChooseLaunchMode(const char* commandLine, char (&option)[kOptionArea]);

// How a run of the launcher ended, as far as its silent caller must know.
enum class LauncherOutcome {
  NoModule,           // no camera of ours: nothing needs installing
  AlreadyRunning,     // another launcher holds the mutex
  PayloadMissing,     // the family's installer is not in the image
  PayloadUnloadable,  // it is there but cannot be loaded
  CreateFailed,       // no folder or file for it; `code` the platform's error
  WriteFailed,        // `code` the platform's error
  Replaced,           // someone else's bytes in Setup.exe: not run
  StartFailed,        // `code` the platform's error (1223: prompt declined)
  Ran,                // `code` the installer's own exit code
};

struct LauncherResult {
  LauncherOutcome outcome;
  unsigned long code;
};

// Codes deployment tools know, for the causes that have no call's error.
constexpr unsigned long kExitInstallAlreadyRunning = 1618;  // they retry later
constexpr unsigned long kExitResourceNameNotFound = 1814;
constexpr unsigned long kExitResourceDataNotFound = 1812;
constexpr unsigned long kExitFileInvalid = 1006;  // "externally altered"
// Where a failure came without an error of its own (see also
// installer_paths.h).
constexpr unsigned long kExitWriteFault = 29;
constexpr unsigned long kExitGenFailure = 31;

// The process exit code. A person saw every message of the default and the
// diagnostic mode: 0 there. A silent run tells its caller: the installer's
// own code, 0 without a module, else a non-zero code per cause.
unsigned long LauncherExitCode(LaunchMode mode, LauncherResult result);

}  // namespace core
