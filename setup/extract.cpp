// Writing the matching installer to a fresh folder of its own in the temp
// folder, running it, waiting for it and deleting it again.
#include "launcher_dlg.h"

#include <shellapi.h>

#include <cstring>

#include "core/installer_paths.h"
#include "installer_folder.h"

namespace {

constexpr char kCreateFailed[] = "Can not create file!";
constexpr char kWriteFailed[] = "Can not write file!";
constexpr char kReplaced[] = "Setup.exe was replaced before it ran!";

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow && a.nFileSizeHigh == b.nFileSizeHigh &&
         a.nFileSizeLow == b.nFileSizeLow;
}

// Reads the file through the guard and compares it with the payload. Between
// the write handle's close and the guard's open a writer can get in; it
// keeps the file's identity and size but not its bytes.
bool HoldsPayload(HANDLE file, const void* bytes, DWORD size) {
  if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
  const unsigned char* expected = static_cast<const unsigned char*>(bytes);
  unsigned char chunk[16384];
  for (DWORD at = 0; at < size;) {
    const DWORD want = size - at < sizeof chunk ? size - at : static_cast<DWORD>(sizeof chunk);
    DWORD got = 0;
    if (!ReadFile(file, chunk, want, &got, nullptr) || got != want ||
        std::memcmp(chunk, expected + at, want) != 0)
      return false;
    at += want;
  }
  return true;
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
    const DWORD error = GetLastError();
    return error != 0 ? error : ERROR_GEN_FAILURE;
  }

  // Through the elevation prompt; the process handle is kept to wait on.
  bool StartElevated(const char* file, const char* parameters, const char* directory) override {
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
    if (!ShellExecuteExA(&info) || info.hProcess == nullptr) return false;
    info_->hProcess = info.hProcess;
    return true;
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
// hold exactly the payload.
bool CLauncherDlg::WritePayload(const void* bytes, DWORD size, const char* path,
                                win::unique_handle* guard) {
  win::unique_handle file(
      CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    ShowMessage(kCreateFailed);
    return false;
  }
  DWORD written = 0;
  const bool complete = WriteFile(file.get(), bytes, size, &written, nullptr) && written == size;
  BY_HANDLE_FILE_INFORMATION wrote;
  const bool known = complete && GetFileInformationByHandle(file.get(), &wrote);
  file.reset();
  if (!complete) {
    ShowMessage(kWriteFailed);
    DeleteFileA(path);
    return false;
  }

  guard->reset(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  BY_HANDLE_FILE_INFORMATION reopened;
  if (!known || !*guard || !GetFileInformationByHandle(guard->get(), &reopened) ||
      !SameFile(wrote, reopened) || !HoldsPayload(guard->get(), bytes, size)) {
    guard->reset();
    ShowMessage(kReplaced);
    DeleteFileA(path);
    return false;
  }
  return true;
}

void CLauncherDlg::OnExtract() {
  ScanModules();
  if (!m_bModuleA && !m_bModuleB) {
    ShowMessage("No Korvel Module");
    return;
  }

  const WORD id = m_bModuleB ? IDR_PAYLOAD_B : IDR_PAYLOAD_A;
  HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(id), "FILE");
  if (resource == nullptr) {
    ShowMessage("fail FindResource");
    return;
  }
  const DWORD size = SizeofResource(nullptr, resource);
  char text[16];
  wsprintfA(text, "%d", static_cast<int>(size));
  SetDlgItemTextA(m_hWnd, IDC_EDIT_SIZE, text);

  HGLOBAL loaded = LoadResource(nullptr, resource);
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (bytes == nullptr) {
    ShowMessage("fail LoadResource");
    return;
  }

  char tempDir[core::kPathArea];
  const DWORD tempLength = GetTempPathA(core::kPathArea, tempDir);
  char folder[core::kPathArea];
  char path[core::kPathArea];
  char commandLine[core::kPathArea];
  if (tempLength == 0 || tempLength >= core::kPathArea ||
      !CreateInstallerFolder(tempDir, m_bQuiet != FALSE, folder, path, commandLine)) {
    ShowMessage(kCreateFailed);
    return;
  }
  const FolderRemover remover(folder);
  SetDlgItemTextA(m_hWnd, IDC_EDIT_PATH, path);

  win::unique_handle guard;
  if (!WritePayload(bytes, size, path, &guard)) return;
  SetDlgItemTextA(m_hWnd, IDC_EDIT_RUN, path);

  Sleep(100);
  RunProgram(commandLine, folder, path);
  guard.reset();
  win::unique_handle process(m_processInfo.hProcess);
  win::unique_handle thread(m_processInfo.hThread);

  Sleep(100);
  if (process) WaitForSingleObject(process.get(), INFINITE);
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
  if (core::StartInstaller(starter, commandLine, path, m_bQuiet != FALSE, directory) ==
      core::StartOutcome::Failed) {
    ShowMessage("CreateProcess failed.");
    return false;
  }
  return true;
}
