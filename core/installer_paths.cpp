#include "core/installer_paths.h"

#include <cstdio>
#include <cstring>
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

unsigned long MakeInstallerFolder(FolderCreator& creator, const char* tempDir, bool quiet,
                                  char (&folder)[kPathArea], char (&path)[kPathArea],
                                  char (&commandLine)[kPathArea]) {
  unsigned long error = kErrorCannotMake;
  for (int attempt = 0; attempt < kFolderAttempts; ++attempt) {
    unsigned char random[kFolderRandomBytes];
    if (!creator.Random(random)) break;
    if (!BuildInstallerFolder(tempDir, random, folder) || !BuildInstallerPath(folder, path) ||
        !BuildInstallerCommandLine(path, quiet, commandLine)) {
      error = kErrorFilenameExcedRange;
      break;
    }
    error = creator.Create(folder);
    if (error == 0) return 0;
    if (error != kErrorAlreadyExists) break;
  }
  folder[0] = path[0] = commandLine[0] = '\0';
  return error;
}

const char* ChooseTempFolder(TempFolderForm longForm, TempFolderForm shortForm) {
  if (longForm.text != nullptr && longForm.exact) return longForm.text;
  if (shortForm.text != nullptr && shortForm.exact) return shortForm.text;
  return nullptr;
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

unsigned long StartInstaller(InstallerStarter& starter, char* commandLine, const char* path,
                             bool quiet, const char* directory) {
  const unsigned long error = starter.Start(commandLine, directory);
  if (error != kErrorElevationRequired) return error;
  return starter.StartElevated(path, InstallerParameters(quiet), directory);
}

bool HoldsPayload(ReopenedFile& file, const FileIdentity& written, const unsigned char* payload,
                  std::uint32_t size) {
  FileIdentity reopened;
  if (!file.Identity(&reopened) || reopened.volume != written.volume ||
      reopened.index != written.index || reopened.size != written.size || reopened.size != size)
    return false;
  unsigned char chunk[kCompareChunk];
  for (std::uint32_t at = 0; at < size;) {
    const std::uint32_t want = size - at < kCompareChunk ? size - at : kCompareChunk;
    std::uint32_t got = 0;
    if (!file.Read(chunk, want, &got) || got != want || std::memcmp(chunk, payload + at, want) != 0)
      return false;
    at += want;
  }
  return true;
}

}  // namespace core
