// Where the launcher writes the installer and how it starts it.
#pragma once

#include <cstddef>

namespace core {

constexpr std::size_t kPathArea = 260;
constexpr char kInstallerName[] = "Setup.exe";
constexpr char kSilentOptions[] = "-s -noreboot";

// "<temp dir>\Setup.exe". The temp dir keeps its own trailing separator, so
// the path holds a doubled one, which the platform accepts. False when the
// result would not fit; `path` is then empty.
bool BuildInstallerPath(const char* tempDir, char (&path)[kPathArea]);

// The quoted path, followed by the silent options when `quiet`. Quoted so a
// temp dir with blanks cannot make the platform start a shorter path.
// False when the result would not fit; `commandLine` is then empty.
bool BuildInstallerCommandLine(const char* path, bool quiet, char (&commandLine)[kPathArea]);

// The options alone, for starters that take the file and its parameters apart.
const char* InstallerParameters(bool quiet);

// Starting the installer: the platform refuses a program that asks for
// higher rights with this error; such a program is then started through the
// elevation prompt instead.
constexpr unsigned long kErrorElevationRequired = 740;

class InstallerStarter {
 public:
  // Returns 0 when started, else the platform's error code.
  virtual unsigned long Start(char* commandLine, const char* directory) = 0;
  virtual bool StartElevated(const char* file, const char* parameters, const char* directory) = 0;

 protected:
  ~InstallerStarter() = default;
};

enum class StartOutcome { Started, StartedElevated, Failed };

StartOutcome StartInstaller(InstallerStarter& starter, char* commandLine, const char* path,
                            bool quiet, const char* directory);

}  // namespace core
