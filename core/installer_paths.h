// Where the launcher writes the installer, who may write there, and how it
// starts it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace core {

constexpr std::size_t kPathArea = 260;
constexpr char kInstallerName[] = "Setup.exe";
constexpr char kSilentOptions[] = "-s -noreboot";

// "<folder>\Setup.exe". False when the result would not fit; `path` is then
// empty.
bool BuildInstallerPath(const char* folder, char (&path)[kPathArea]);

// The quoted path, followed by the silent options when `quiet`. Quoted so a
// temp dir with blanks cannot make the platform start a shorter path.
// False when the result would not fit; `commandLine` is then empty.
bool BuildInstallerCommandLine(const char* path, bool quiet, char (&commandLine)[kPathArea]);

// The options alone, for starters that take the file and its parameters apart.
const char* InstallerParameters(bool quiet);

// The installer gets a folder of its own inside the temp folder: a DLL that
// anyone left in the shared temp folder must not be found beside it.
constexpr char kFolderPrefix[] = "Bindora-";
constexpr std::size_t kFolderRandomBytes = 8;
// A taken name is someone else's; after this many the launcher gives up.
constexpr int kFolderAttempts = 10;
constexpr unsigned long kErrorAlreadyExists = 183;

// "<temp dir>Bindora-<the bytes as hex digits>", a separator added when the
// temp dir lacks its own. False when the result would not fit; `folder` is
// then empty.
bool BuildInstallerFolder(const char* tempDir, const unsigned char (&random)[kFolderRandomBytes],
                          char (&folder)[kPathArea]);

class FolderCreator {
 public:
  virtual bool Random(unsigned char (&bytes)[kFolderRandomBytes]) = 0;
  // Must fail on an existing name. Returns 0 when created, else the
  // platform's error code (kErrorAlreadyExists for a taken name).
  virtual unsigned long Create(const char* folder) = 0;

 protected:
  ~FolderCreator() = default;
};

// Platform errors the launcher reports where no call of its own failed.
constexpr unsigned long kErrorFilenameExcedRange = 206;
constexpr unsigned long kErrorNoUnicodeTranslation = 1113;
constexpr unsigned long kErrorCannotMake = 82;

// Creates a fresh folder with an unpredictable name and forms the installer's
// path and command line in it. Everything must fit before anything is
// created; only a taken name is tried again. Returns 0 when the folder was
// made, else why not (the creator's error, kErrorFilenameExcedRange for a
// temp dir too long, kErrorCannotMake without random bytes); all three are
// then empty.
unsigned long MakeInstallerFolder(FolderCreator& creator, const char* tempDir, bool quiet,
                                  char (&folder)[kPathArea], char (&path)[kPathArea],
                                  char (&commandLine)[kPathArea]);

// One form of the temp folder as the platform gives it: its ANSI text, and
// whether the conversion kept every character. `text` is null when the form
// could not be had at all.
struct TempFolderForm {
  const char* text;
  bool exact;
};

// The temp folder the launcher writes into: the long form when it converted
// exactly, else the short (8.3) form when that did, else none (null). A form
// that changed in conversion may name another folder ("best fit" makes a
// Greek Omega an O: C:\<Omega>temp becomes C:\Otemp, which someone else may
// own), so it is never used.
const char* ChooseTempFolder(TempFolderForm longForm, TempFolderForm shortForm);

// Who may use that folder. Rights and flags are the platform's values, kept
// here so the rules read (and test) without it.
enum class Account { System, Administrators, CurrentUser };
// FILE_ALL_ACCESS
constexpr unsigned long kFullControl = 0x001F01FF;
// OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE: Setup.exe and whatever the
// installer adds get the same entries.
constexpr unsigned char kInheritedByFilesAndFolders = 0x01 | 0x02;
constexpr std::size_t kMostFolderGrants = 3;

struct AccessGrant {
  Account account;
  unsigned long rights;
  unsigned char inheritance;
};

struct FolderAccess {
  const AccessGrant* grants;
  std::size_t count;
  // Nothing comes from the temp folder's own entries, now or when someone
  // later re-applies inheritance to it.
  bool protectedFromParent;
};

// Elevated (or SYSTEM): only SYSTEM and Administrators, so no standard user's
// process can add a DLL for an installer that runs with administrator rights.
// Otherwise the current user too, who has to write Setup.exe there.
FolderAccess InstallerFolderAccess(bool elevated);

// Starting the installer: the platform refuses a program that asks for
// higher rights with this error; such a program is then started through the
// elevation prompt instead.
constexpr unsigned long kErrorElevationRequired = 740;

class InstallerStarter {
 public:
  // Each returns 0 when started, else the platform's error code (through
  // the prompt, ERROR_CANCELLED when the user declined).
  virtual unsigned long Start(char* commandLine, const char* directory) = 0;
  virtual unsigned long StartElevated(const char* file, const char* parameters,
                                      const char* directory) = 0;

 protected:
  ~InstallerStarter() = default;
};

// 0 when the installer was started, directly or through the prompt; else the
// platform's error code of the start that decided.
unsigned long StartInstaller(InstallerStarter& starter, char* commandLine, const char* path,
                             bool quiet, const char* directory);

// The written Setup.exe is closed, then reopened read-only as a guard; a
// writer can slip in between. Before it runs, the reopened file must be the
// one written and hold exactly the payload.
struct FileIdentity {
  std::uint32_t volume;
  std::uint64_t index;
  std::uint64_t size;
};

class ReopenedFile {
 public:
  virtual bool Identity(FileIdentity* identity) = 0;
  // Reads on from the end of the last read (the first from the start);
  // `*got` bytes arrived.
  virtual bool Read(unsigned char* into, std::uint32_t want, std::uint32_t* got) = 0;

 protected:
  ~ReopenedFile() = default;
};

// Reads never ask for more than this at once.
constexpr std::uint32_t kCompareChunk = 16384;

// True when `file` has the identity of the one written (volume, index and
// size), the payload's size, and exactly its bytes.
bool HoldsPayload(ReopenedFile& file, const FileIdentity& written, const unsigned char* payload,
                  std::uint32_t size);

}  // namespace core
