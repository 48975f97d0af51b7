// The Wine test rig: stages what a camera would provide in the throwaway
// prefix (driver record, device keys, values of any type and bytes), runs the
// real programs with a time limit and observes what they did.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/win/unique.h"

namespace rig {

// ---- registry -------------------------------------------------------------

constexpr char kDriverKey[] = "SOFTWARE\\Veltra\\ZADAZ\\QV7DRV";
// The same key in the 32-bit view, where only 32-bit writers put it.
constexpr char kDriverKey32BitView[] = "SOFTWARE\\Wow6432Node\\Veltra\\ZADAZ\\QV7DRV";
constexpr char kImageClass[] = "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}";

using Bytes = std::vector<unsigned char>;

// Writes a value of any type with exactly these bytes, creating the key.
void SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
              const Bytes& bytes);
void SetString(HKEY root, const std::string& path, const std::string& name,
               const std::string& text);  // REG_SZ with its terminator
void SetDword(HKEY root, const std::string& path, const std::string& name, DWORD value);
void DeleteValue(HKEY root, const std::string& path, const std::string& name);
void CreateKey(HKEY root, const std::string& path);
void DeleteTree(HKEY root, const std::string& path);
bool KeyExists(HKEY root, const std::string& path);

struct Value {
  bool present = false;
  DWORD type = 0;
  Bytes bytes;
  DWORD AsDword() const;
};
Value ReadValue(HKEY root, const std::string& path, const std::string& name);

// SYSTEM\CurrentControlSet\Control\Class\{Image class}\NNNN
std::string DeviceKey(const std::string& number);
std::string SettingsKey(const std::string& number);
// \Registry\MACHINE\ + SettingsKey(number)
std::string InstancePath(const std::string& number);

// A camera as its driver records it: InstanceIndex = `index` (REG_DWORD),
// "ii%04d" of `index` holding the instance path, the device key with
// "DriverDesc" and an empty "Settings" subkey.
void StageCamera(const std::string& number = "0000",
                 const std::string& description = "Veltra QV7 USB2.0 Camera", int index = 1);
// Removes the Driver key and the Image class device keys the rig made.
void RemoveCameras();

// ---- processes ------------------------------------------------------------

// The programs under test: bin\ beside the test's own folder, or the folder
// BINDORA_PROGRAMS names (the shipping i686 build, with BINDORA_ARCH=i686).
std::string ProgramPath(const std::string& exeName);

// The host model a run stands for, as a bit so table rows can name several.
enum Host : unsigned {
  kWin64 = 1,  // 64-bit Windows, the x86_64 programs
  kWow64 = 2,  // 64-bit Windows, the i686 programs as 32-bit processes
  kWin32 = 4,  // 32-bit Windows: no 32-bit registry view, no Wow6432Node
  kAnyHost = kWin64 | kWow64 | kWin32,
};
Host CurrentHost();
// The programs under test are the i686 build (any host model but kWin64).
bool Programs32Bit();
// Fixtures the programs load (the capture filter): beside the test, or in
// the folder BINDORA_FIXTURES names, built for the programs' architecture.
std::string FixturePath(const std::string& fileName);
// A file of the test program's own build (build\<preset>\...), whichever
// build the programs under test come from.
std::string OwnBuildPath(const std::string& relative);
// The registry view of the classes the programs' COM reads.
REGSAM ClassesView();

class Process {
 public:
  Process() = default;
  Process(Process&& other) noexcept = default;
  Process& operator=(Process&& other) noexcept;
  ~Process();  // ends the process if it still runs

  // Starts `exe` with `args` appended to its quoted path (suspended with
  // CREATE_SUSPENDED in `flags`, until Resume). A start the platform fails
  // is reported on stderr and made again, three times at most; false, with
  // the last error kept, when none succeeded.
  bool Start(const std::string& exe, const std::string& args = "",
             const std::string& directory = "", DWORD flags = 0);
  // Exit code, or STILL_ACTIVE when it did not end within `ms`.
  DWORD Wait(DWORD ms);
  bool Running() const;
  void Terminate();
  // Stops the first thread and returns once it has stopped, so the test can
  // look at what the process holds without racing it; false when it could
  // not be stopped (the thread has ended).
  bool Pause();
  void Resume();
  HANDLE handle() const { return process_.get(); }
  DWORD id() const { return pid_; }

 private:
  win::unique_handle process_;
  win::unique_handle thread_;
  DWORD pid_ = 0;
};

// Runs a program to its end. Returns its exit code; a program that outlives
// `ms` is terminated and STILL_ACTIVE returned.
DWORD Run(const std::string& exe, const std::string& args = "", DWORD ms = 15000);

// ---- the file browser stand-in --------------------------------------------

// What C:\windows\explorer.exe (the rig's recorder) received.
struct ExplorerCall {
  std::string parameters;
  std::string directory;
};
std::vector<ExplorerCall> ExplorerCalls();
void ClearExplorerCalls();
// Waits until the recorder has written `count` calls.
std::vector<ExplorerCall> WaitForExplorerCalls(size_t count, DWORD ms = 10000);

// ---- watching a value over time -------------------------------------------

struct Sample {
  double ms;  // since Start
  Value value;
};

// Records every change of one value, woken by the registry's own notification.
class ValueWatcher {
 public:
  ValueWatcher(HKEY root, std::string path, std::string name);
  ~ValueWatcher();
  bool Start();
  std::vector<Sample> Stop();

 private:
  static DWORD WINAPI Thread(void* self);
  HKEY root_;
  std::string path_, name_;
  win::unique_hkey key_;
  win::unique_event changed_, stop_;
  win::unique_handle thread_;
  LARGE_INTEGER start_{}, freq_{};
  std::vector<Sample> samples_;
};

double NowMs();

// ---- files ------------------------------------------------------------------

bool ReadFileText(const std::string& path, std::string* text);
bool FileExists(const std::string& path);

}  // namespace rig
