// A stand-in for a driver installer: appends what it was started with to a
// record file and ends. The record goes to %BINDORA_INSTALLER_LOG%, or
// C:\rig\installer.log. While the file named by %BINDORA_INSTALLER_HOLD%
// exists it stays running, so a caller's wait can be observed. It loads the
// DLL named by %BINDORA_INSTALLER_LOAD% as a real installer would load one of
// its imports, and records where that came from; it leaves a file named by
// %BINDORA_INSTALLER_LEAVE% beside itself, as an installer that unpacks more.
// Without these variables it does neither. It ends with the exit code in
// %BINDORA_INSTALLER_EXIT% (3010 for "restart required", 1603 for a failed
// install), else 0.
#include <windows.h>

#include "common/win/unique.h"

#ifndef SAMPLE_PAYLOAD_ID
#define SAMPLE_PAYLOAD_ID 0
#endif

namespace {

constexpr char kDefaultLog[] = "C:\\rig\\installer.log";
constexpr DWORD kLongestHoldMs = 120000;

void Append(HANDLE file, const char* text) {
  DWORD written = 0;
  WriteFile(file, text, lstrlenA(text), &written, nullptr);
}

void Field(HANDLE file, const char* name, const char* value) {
  Append(file, name);
  Append(file, "=");
  Append(file, value);
  Append(file, "\r\n");
}

// False, and `value` empty, when the variable is unset or does not fit.
bool Variable(const char* name, char (&value)[MAX_PATH]) {
  const DWORD length = GetEnvironmentVariableA(name, value, MAX_PATH);
  if (length != 0 && length < MAX_PATH) return true;
  value[0] = '\0';
  return false;
}

void Record() {
  char log[MAX_PATH];
  if (!Variable("BINDORA_INSTALLER_LOG", log)) {
    lstrcpynA(log, kDefaultLog, MAX_PATH);
    CreateDirectoryA("C:\\rig", nullptr);
  }
  const win::unique_handle file(CreateFileA(log, FILE_APPEND_DATA,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;

  char id[16];
  wsprintfA(id, "%d", SAMPLE_PAYLOAD_ID);
  char directory[MAX_PATH] = "";
  GetCurrentDirectoryA(MAX_PATH, directory);
  char self[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, self, MAX_PATH);

  Field(file.get(), "payload", id);
  Field(file.get(), "cmdline", GetCommandLineA());
  Field(file.get(), "cwd", directory);
  Field(file.get(), "self", self);
  char dll[MAX_PATH];
  if (Variable("BINDORA_INSTALLER_LOAD", dll)) {
    char loaded[MAX_PATH] = "(none)";
    if (HMODULE module = LoadLibraryA(dll)) GetModuleFileNameA(module, loaded, MAX_PATH);
    Field(file.get(), "loaded", loaded);
  }
  Append(file.get(), "\r\n");
}

void Leave() {
  char name[MAX_PATH];
  if (!Variable("BINDORA_INSTALLER_LEAVE", name)) return;
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  char* end = path + length;
  while (end > path && end[-1] != '\\') --end;
  if (end - path + lstrlenA(name) >= MAX_PATH) return;
  lstrcpyA(end, name);
  const win::unique_handle file(
      CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file) Append(file.get(), "left by the installer");
}

void Hold() {
  char marker[MAX_PATH];
  if (!Variable("BINDORA_INSTALLER_HOLD", marker)) return;
  for (DWORD waited = 0; waited < kLongestHoldMs; waited += 20) {
    if (GetFileAttributesA(marker) == INVALID_FILE_ATTRIBUTES) return;
    Sleep(20);
  }
}

int ExitCode() {
  char text[MAX_PATH];
  if (!Variable("BINDORA_INSTALLER_EXIT", text)) return 0;
  int code = 0;
  for (const char* c = text; *c >= '0' && *c <= '9'; ++c) code = code * 10 + (*c - '0');
  return code;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  Record();
  Leave();
  Hold();
  return ExitCode();
}
