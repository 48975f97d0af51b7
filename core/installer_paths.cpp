#include "core/installer_paths.h"

#include <cstdio>

namespace core {

namespace {

template <std::size_t N>
bool Fits(int written, char (&out)[N]) {
  if (written >= 0 && static_cast<std::size_t>(written) < N) return true;
  out[0] = '\0';
  return false;
}

}  // namespace

bool BuildInstallerPath(const char* tempDir, char (&path)[kPathArea]) {
  return Fits(std::snprintf(path, sizeof path, "%s\\%s", tempDir, kInstallerName), path);
}

bool BuildInstallerCommandLine(const char* path, bool quiet, char (&commandLine)[kPathArea]) {
  const int written =
      quiet ? std::snprintf(commandLine, sizeof commandLine, "\"%s\" %s", path, kSilentOptions)
            : std::snprintf(commandLine, sizeof commandLine, "\"%s\"", path);
  return Fits(written, commandLine);
}

const char* InstallerParameters(bool quiet) { return quiet ? kSilentOptions : ""; }

StartOutcome StartInstaller(InstallerStarter& starter, char* commandLine, const char* path,
                            bool quiet, const char* directory) {
  const unsigned long error = starter.Start(commandLine, directory);
  if (error == 0) return StartOutcome::Started;
  if (error != kErrorElevationRequired) return StartOutcome::Failed;
  return starter.StartElevated(path, InstallerParameters(quiet), directory)
             ? StartOutcome::StartedElevated
             : StartOutcome::Failed;
}

}  // namespace core
