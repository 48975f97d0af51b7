#include "core/installer_paths.h"

#include <cstdio>
#include <iterator>

namespace core {

namespace {

template <std::size_t N>
bool Fits(int written, char (&out)[N]) {
  if (written >= 0 && static_cast<std::size_t>(written) < N) return true;
  out[0] = '\0';
  return false;
}

}  // namespace

bool BuildInstallerPath(const char* folder, char (&path)[kPathArea]) {
  return Fits(std::snprintf(path, sizeof path, "%s\\%s", folder, kInstallerName), path);
}

bool BuildInstallerCommandLine(const char* path, bool quiet, char (&commandLine)[kPathArea]) {
  const int written =
      quiet ? std::snprintf(commandLine, sizeof commandLine, "\"%s\" %s", path, kSilentOptions)
            : std::snprintf(commandLine, sizeof commandLine, "\"%s\"", path);
  return Fits(written, commandLine);
}

const char* InstallerParameters(bool quiet) { return quiet ? kSilentOptions : ""; }

bool BuildInstallerFolder(const char* tempDir, const unsigned char (&random)[kFolderRandomBytes],
                          char (&folder)[kPathArea]) {
  static const char kDigits[] = "0123456789abcdef";
  char name[sizeof kFolderPrefix + 2 * kFolderRandomBytes];
  std::size_t at = 0;
  for (const char* p = kFolderPrefix; *p != '\0'; ++p) name[at++] = *p;
  for (unsigned char byte : random) {
    name[at++] = kDigits[byte >> 4];
    name[at++] = kDigits[byte & 0x0F];
  }
  name[at] = '\0';
  std::size_t length = 0;
  while (length < kPathArea && tempDir[length] != '\0') ++length;
  if (length == kPathArea) return Fits(-1, folder);
  const char* separator = length > 0 && tempDir[length - 1] == '\\' ? "" : "\\";
  return Fits(std::snprintf(folder, sizeof folder, "%s%s%s", tempDir, separator, name), folder);
}

bool MakeInstallerFolder(FolderCreator& creator, const char* tempDir, bool quiet,
                         char (&folder)[kPathArea], char (&path)[kPathArea],
                         char (&commandLine)[kPathArea]) {
  for (int attempt = 0; attempt < kFolderAttempts; ++attempt) {
    unsigned char random[kFolderRandomBytes];
    if (!creator.Random(random)) break;
    if (!BuildInstallerFolder(tempDir, random, folder) || !BuildInstallerPath(folder, path) ||
        !BuildInstallerCommandLine(path, quiet, commandLine)) {
      break;
    }
    const unsigned long error = creator.Create(folder);
    if (error == 0) return true;
    if (error != kErrorAlreadyExists) break;
  }
  folder[0] = path[0] = commandLine[0] = '\0';
  return false;
}

FolderAccess InstallerFolderAccess(bool elevated) {
  static constexpr AccessGrant kElevated[] = {
      {Account::System, kFullControl, kInheritedByFilesAndFolders},
      {Account::Administrators, kFullControl, kInheritedByFilesAndFolders},
  };
  static constexpr AccessGrant kWithUser[] = {
      {Account::System, kFullControl, kInheritedByFilesAndFolders},
      {Account::Administrators, kFullControl, kInheritedByFilesAndFolders},
      {Account::CurrentUser, kFullControl, kInheritedByFilesAndFolders},
  };
  static_assert(std::size(kWithUser) <= kMostFolderGrants, "room for every grant");
  if (elevated) return {kElevated, std::size(kElevated), true};
  return {kWithUser, std::size(kWithUser), true};
}

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
