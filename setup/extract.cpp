// Writing the matching installer to a fresh folder of its own in the temp
// folder, running it, waiting for it and deleting it again.
#include "launcher_dlg.h"

#include <shellapi.h>

#include <cstdint>

#include "common/win/ansi.h"
#include "core/installer_paths.h"
#include "installer_folder.h"

namespace {

constexpr char kCreateFailed[] = "Can not create file!";
constexpr char kWriteFailed[] = "Can not write file!";
constexpr char kReplaced[] = "Setup.exe was replaced before it ran!";

bool IdentityOf(HANDLE file, core::FileIdentity* identity) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) return false;
  identity->volume = info.dwVolumeSerialNumber;
  identity->index = static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
  identity->size = static_cast<std::uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
  return true;
}

// The reopened Setup.exe, read through its guard for the core's check.
class GuardedFile final : public core::ReopenedFile {
 public:
  explicit GuardedFile(HANDLE file) : file_(file) {}
  bool Identity(core::FileIdentity* identity) override { return IdentityOf(file_, identity); }
  bool Read(unsigned char* into, std::uint32_t want, std::uint32_t* got) override {
    DWORD read = 0;
    const bool ok = ReadFile(file_, into, want, &read, nullptr) != FALSE;
    *got = read;
    return ok;
  }

 private:
  HANDLE file_;
};

// The temp folder's two forms, read as UTF-16 and converted without best
// fit; the core picks the one to use. 0, or why there is none.
unsigned long TempFolder(char (&folder)[core::kPathArea]) {
  wchar_t wide[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, wide);
  if (length == 0) return LastErrorOr(core::kErrorCannotMake);
  if (length > MAX_PATH) return core::kErrorFilenameExcedRange;
  char longText[core::kPathArea];
  const core::TempFolderForm longForm{longText, win::ToAnsiExactly(wide, longText)};
  // Fails for a folder that does not exist; the long form then decides.
  wchar_t shortWide[MAX_PATH];
  const DWORD shortLength = GetShortPathNameW(wide, shortWide, MAX_PATH);
  char shortText[core::kPathArea];
  core::TempFolderForm shortForm{nullptr, false};
  if (shortLength != 0 && shortLength < MAX_PATH)
    shortForm = {shortText, win::ToAnsiExactly(shortWide, shortText)};
  const char* chosen = core::ChooseTempFolder(longForm, shortForm);
  if (chosen == nullptr) return core::kErrorNoUnicodeTranslation;
  lstrcpynA(folder, chosen, core::kPathArea);
  return 0;
}

// Removes the installer's folder when the extraction ends. RemoveDirectory
// refuses a folder that still holds anything, so whatever the installer left
// there stays with the folder.
class FolderRemover {
 public:
  explicit FolderRemover(const char* folder) : folder_(folder) {}
  FolderRemover(const FolderRemover&) = delete;
  FolderRemover& operator=(const FolderRemover&) = delete;
  ~FolderRemover() { RemoveDirectoryA(folder_); }

 private:
  const char* folder_;
};

class Starter final : public core::InstallerStarter {
 public:
  Starter(HWND owner, PROCESS_INFORMATION* info) : owner_(owner), info_(info) {}

  unsigned long Start(char* commandLine, const char* directory) override {
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, directory,
                       &startup, info_)) {
      return 0;
    }
    return LastErrorOr(ERROR_GEN_FAILURE);
  }

  // Through the elevation prompt; the process handle is kept to wait on.
  unsigned long StartElevated(const char* file, const char* parameters,
                              const char* directory) override {
    SHELLEXECUTEINFOA info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.hwnd = owner_;
    info.lpVerb = "runas";
    info.lpFile = file;
    info.lpParameters = parameters[0] != '\0' ? parameters : nullptr;
    info.lpDirectory = directory;
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExA(&info)) return LastErrorOr(ERROR_GEN_FAILURE);
    if (info.hProcess == nullptr) return ERROR_GEN_FAILURE;
    info_->hProcess = info.hProcess;
    return 0;
  }

 private:
  HWND owner_;
  PROCESS_INFORMATION* info_;
};

}  // namespace

// Writes the payload with no sharing, then trades the write handle for a
// read-only one that still denies writers and deleters: the platform can map
// the image for the new process, but nobody can swap the file before it
// starts. The trade cannot be made without a gap (the platform maps no image
// that someone may write), so the reopened file must be the one written and
// hold exactly the payload (core::HoldsPayload).
bool CLauncherDlg::WritePayload(const void* bytes, DWORD size, const char* path,
                                win::unique_handle* guard) {
  win::unique_handle file(
      CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    Report(kCreateFailed, core::LauncherOutcome::CreateFailed, GetLastError());
    return false;
  }
  // One write as a rule. A short one (the disk filling up) is continued, so
  // that the error which stops it is the one the caller learns.
  const BYTE* at = static_cast<const BYTE*>(bytes);
  DWORD left = size;
  DWORD writeError = 0;
  while (left > 0) {
    DWORD written = 0;
    if (!WriteFile(file.get(), at, left, &written, nullptr)) {
      writeError = GetLastError();
      break;
    }
    if (written == 0) break;  // neither progress nor an error: the core names one
    at += written;
    left -= written;
  }
  core::FileIdentity identity{};
  const bool complete = left == 0;
  const bool known = complete && IdentityOf(file.get(), &identity);
  file.reset();
  if (!complete) {
    Report(kWriteFailed, core::LauncherOutcome::WriteFailed, writeError);
    DeleteFileA(path);
    return false;
  }

  guard->reset(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  GuardedFile reopened(guard->get());
  if (!known || !*guard ||
      !core::HoldsPayload(reopened, identity, static_cast<const unsigned char*>(bytes), size)) {
    guard->reset();
    Report(kReplaced, core::LauncherOutcome::Replaced);
    DeleteFileA(path);
    return false;
  }
  return true;
}

void CLauncherDlg::OnExtract() {
  ScanModules();
  if (!m_bModuleA && !m_bModuleB) {
    Report("No Korvel Module", core::LauncherOutcome::NoModule);
    return;
  }

  const WORD id = m_bModuleB ? IDR_PAYLOAD_B : IDR_PAYLOAD_A;
  HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(id), "FILE");
  if (resource == nullptr) {
    Report("fail FindResource", core::LauncherOutcome::PayloadMissing);
    return;
  }
  const DWORD size = SizeofResource(nullptr, resource);
  char text[16];
  wsprintfA(text, "%d", static_cast<int>(size));
  SetDlgItemTextA(m_hWnd, IDC_EDIT_SIZE, text);

  HGLOBAL loaded = LoadResource(nullptr, resource);
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (bytes == nullptr) {
    Report("fail LoadResource", core::LauncherOutcome::PayloadUnloadable);
    return;
  }

  char tempDir[core::kPathArea];
  char folder[core::kPathArea];
  char path[core::kPathArea];
  char commandLine[core::kPathArea];
  unsigned long error = TempFolder(tempDir);
  if (error == 0)
    error = CreateInstallerFolder(tempDir, m_bQuiet != FALSE, folder, path, commandLine);
  if (error != 0) {
    Report(kCreateFailed, core::LauncherOutcome::CreateFailed, error);
    return;
  }
  const FolderRemover remover(folder);
  SetDlgItemTextA(m_hWnd, IDC_EDIT_PATH, path);

  win::unique_handle guard;
  if (!WritePayload(bytes, size, path, &guard)) return;
  SetDlgItemTextA(m_hWnd, IDC_EDIT_RUN, path);

  Sleep(100);
  const bool started = RunProgram(commandLine, folder, path);
  guard.reset();
  win::unique_handle process(m_processInfo.hProcess);
  win::unique_handle thread(m_processInfo.hThread);

  Sleep(100);
  if (process) WaitForSingleObject(process.get(), INFINITE);
  if (started) {
    DWORD code = 0;
    m_result = {core::LauncherOutcome::Ran,
                GetExitCodeProcess(process.get(), &code) ? code : core::kExitGenFailure};
  }
  Sleep(100);
  process.reset();
  thread.reset();
  m_processInfo.hProcess = nullptr;
  m_processInfo.hThread = nullptr;
  Sleep(100);
  DeleteFileA(path);
}

bool CLauncherDlg::RunProgram(char* commandLine, const char* directory, const char* path) {
  ZeroMemory(&m_processInfo, sizeof m_processInfo);
  Starter starter(m_hWnd, &m_processInfo);
  const unsigned long error =
      core::StartInstaller(starter, commandLine, path, m_bQuiet != FALSE, directory);
  if (error != 0) {
    Report("CreateProcess failed.", core::LauncherOutcome::StartFailed, error);
    return false;
  }
  return true;
}
