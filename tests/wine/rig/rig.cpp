#include "rig.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <utility>

#include "common/win/unique.h"

namespace rig {

namespace {

// Where the rig stages a key. Below HKLM\SOFTWARE a 64-bit driver writes the
// 64-bit view, and that is all the 32-bit programs get. For 64-bit programs
// the record goes into both views: under Wine a mask with both view flags
// opens the 32-bit view for a 64-bit process (the 64-bit one for a 32-bit
// process), and every program is to see the same camera. 32-bit Windows has
// one view only. Classes go where the programs' COM finds them.
std::vector<REGSAM> Views(HKEY root, const std::string& path) {
  if (root == HKEY_CLASSES_ROOT) return {ClassesView()};
  if (root == HKEY_LOCAL_MACHINE && _strnicmp(path.c_str(), "SOFTWARE\\", 9) == 0) {
    switch (CurrentHost()) {
      case kWow64:
        return {KEY_WOW64_64KEY};
      case kWin64:
        return {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
      default:
        return {0};
    }
  }
  return {0};
}

std::string Environment(const char* name) {
  char value[MAX_PATH];
  const DWORD n = GetEnvironmentVariableA(name, value, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::string(value, n) : std::string();
}

// The folder of this test program.
std::string OwnFolder() {
  char self[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string dir(self, n);
  dir.resize(dir.find_last_of('\\'));
  return dir;
}

win::unique_hkey CreateOrOpen(HKEY root, const std::string& path, REGSAM view) {
  win::unique_hkey key;
  if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, key.put(),
                      nullptr) != ERROR_SUCCESS)
    key.reset();
  return key;
}

win::unique_hkey Open(HKEY root, const std::string& path, REGSAM access) {
  win::unique_hkey key;
  if (RegOpenKeyExA(root, path.c_str(), 0, access, key.put()) != ERROR_SUCCESS) key.reset();
  return key;
}

}  // namespace

void SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
              const Bytes& bytes) {
  for (REGSAM view : Views(root, path)) {
    const win::unique_hkey key = CreateOrOpen(root, path, view);
    if (key)
      RegSetValueExA(key.get(), name.c_str(), 0, type, bytes.empty() ? nullptr : bytes.data(),
                     static_cast<DWORD>(bytes.size()));
  }
}

void SetString(HKEY root, const std::string& path, const std::string& name,
               const std::string& text) {
  Bytes bytes(text.begin(), text.end());
  bytes.push_back(0);
  SetValue(root, path, name, REG_SZ, bytes);
}

void SetDword(HKEY root, const std::string& path, const std::string& name, DWORD value) {
  SetValue(root, path, name, REG_DWORD,
           {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
            static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)});
}

void DeleteValue(HKEY root, const std::string& path, const std::string& name) {
  for (REGSAM view : Views(root, path)) {
    if (const win::unique_hkey key = Open(root, path, KEY_SET_VALUE | view))
      RegDeleteValueA(key.get(), name.c_str());
  }
}

void CreateKey(HKEY root, const std::string& path) {
  for (REGSAM view : Views(root, path)) CreateOrOpen(root, path, view);
}

void DeleteTree(HKEY root, const std::string& path) {
  for (REGSAM view : Views(root, path)) {
    if (const win::unique_hkey key = Open(root, path, KEY_ALL_ACCESS | view))
      RegDeleteTreeA(key.get(), nullptr);
    const size_t slash = path.find_last_of('\\');
    if (slash == std::string::npos) continue;
    if (const win::unique_hkey parent = Open(root, path.substr(0, slash), KEY_ALL_ACCESS | view))
      RegDeleteKeyExA(parent.get(), path.substr(slash + 1).c_str(), view, 0);
  }
}

bool KeyExists(HKEY root, const std::string& path) {
  return static_cast<bool>(Open(root, path, KEY_READ | Views(root, path)[0]));
}

DWORD Value::AsDword() const {
  DWORD v = 0;
  for (size_t i = 0; i < bytes.size() && i < 4; ++i) v |= DWORD(bytes[i]) << (8 * i);
  return v;
}

Value ReadValue(HKEY root, const std::string& path, const std::string& name) {
  Value value;
  const win::unique_hkey key = Open(root, path, KEY_READ | Views(root, path)[0]);
  if (!key) return value;
  DWORD size = 0;
  if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &value.type, nullptr, &size) ==
      ERROR_SUCCESS) {
    value.bytes.resize(size);
    if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &value.type,
                         value.bytes.empty() ? nullptr : value.bytes.data(),
                         &size) == ERROR_SUCCESS) {
      value.bytes.resize(size);
      value.present = true;
    }
  }
  return value;
}

std::string DeviceKey(const std::string& number) {
  return std::string("SYSTEM\\CurrentControlSet\\Control\\Class\\") + kImageClass + "\\" + number;
}

std::string SettingsKey(const std::string& number) { return DeviceKey(number) + "\\Settings"; }

std::string InstancePath(const std::string& number) {
  return "\\Registry\\MACHINE\\" + SettingsKey(number);
}

void StageCamera(const std::string& number, const std::string& description, int index) {
  char name[16];
  std::snprintf(name, sizeof name, "ii%04d", index);
  SetDword(HKEY_LOCAL_MACHINE, kDriverKey, "InstanceIndex", static_cast<DWORD>(index));
  SetString(HKEY_LOCAL_MACHINE, kDriverKey, name, InstancePath(number));
  SetString(HKEY_LOCAL_MACHINE, DeviceKey(number), "DriverDesc", description);
  CreateKey(HKEY_LOCAL_MACHINE, SettingsKey(number));
}

void RemoveCameras() {
  DeleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veltra");
  // 32-bit Windows has no such key at all; a row may have planted one.
  DeleteTree(HKEY_LOCAL_MACHINE,
             CurrentHost() == kWin32 ? "SOFTWARE\\Wow6432Node" : "SOFTWARE\\Wow6432Node\\Veltra");
  DeleteTree(HKEY_LOCAL_MACHINE,
             std::string("SYSTEM\\CurrentControlSet\\Control\\Class\\") + kImageClass);
}

// ---- processes ------------------------------------------------------------

Host CurrentHost() {
  static const Host host = [] {
    if (sizeof(void*) == 8) return Environment("BINDORA_ARCH") == "i686" ? kWow64 : kWin64;
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64 ? kWow64 : kWin32;
  }();
  return host;
}

bool Programs32Bit() { return CurrentHost() != kWin64; }

REGSAM ClassesView() { return CurrentHost() == kWow64 ? KEY_WOW64_32KEY : 0; }

std::string ProgramPath(const std::string& exeName) {
  std::string dir = Environment("BINDORA_PROGRAMS");
  if (dir.empty()) {
    dir = OwnFolder();
    dir.resize(dir.find_last_of('\\'));  // build\win64
    dir += "\\bin";
  }
  return dir + "\\" + exeName;
}

std::string FixturePath(const std::string& fileName) {
  const std::string dir = Environment("BINDORA_FIXTURES");
  return (dir.empty() ? OwnFolder() : dir) + "\\" + fileName;
}

std::string OwnBuildPath(const std::string& relative) { return OwnFolder() + "\\..\\" + relative; }

namespace {

// The machine field of a PE file's header, 0 when it cannot be read.
WORD PeMachine(const std::string& path) {
  std::string image;
  if (!ReadFileText(path, &image) || image.size() < 0x40) return 0;
  DWORD header = 0;
  std::memcpy(&header, &image[0x3C], sizeof header);
  WORD machine = 0;
  if (header > image.size() - 6) return 0;
  std::memcpy(&machine, &image[header + 4], sizeof machine);
  return machine;
}

// A run of the programs that ship must not quietly test others: every
// program under test is of the architecture the run names.
class ProgramArchitecture : public ::testing::Environment {
  void SetUp() override {
    const WORD expected = Programs32Bit() ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64;
    for (const char* name : {"setup.exe", "vantor.exe", "snappulse.exe", "rotasync.exe"})
      ASSERT_EQ(PeMachine(ProgramPath(name)), expected) << ProgramPath(name);
    if (Programs32Bit()) {
      ASSERT_EQ(PeMachine(FixturePath("capture_filter.dll")), expected);
    }
  }
};

::testing::Environment* const g_programArchitecture =
    ::testing::AddGlobalTestEnvironment(new ProgramArchitecture);

}  // namespace

Process& Process::operator=(Process&& other) noexcept {
  if (this != &other) {
    Terminate();
    process_ = std::move(other.process_);
    thread_ = std::move(other.thread_);
    pid_ = other.pid_;
  }
  return *this;
}

Process::~Process() { Terminate(); }

bool Process::Start(const std::string& exe, const std::string& args, const std::string& directory,
                    DWORD flags) {
  Terminate();
  std::string commandLine = "\"" + exe + "\"";
  if (!args.empty()) commandLine += " " + args;
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  // CreateProcess returns before any code of the new program has run, so a
  // failed start is the platform's doing, never the program's: it is
  // reported and made again.
  for (int attempt = 1;; ++attempt) {
    if (CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, flags, nullptr,
                       directory.empty() ? nullptr : directory.c_str(), &si, &pi))
      break;
    const DWORD error = GetLastError();
    std::fprintf(stderr, "rig: starting %s failed (error %lu)%s\n", commandLine.c_str(), error,
                 attempt < 3 ? ", trying again" : "");
    if (attempt == 3) {
      SetLastError(error);
      return false;
    }
    Sleep(500);
  }
  thread_.reset(pi.hThread);
  process_.reset(pi.hProcess);
  pid_ = pi.dwProcessId;
  return true;
}

DWORD Process::Wait(DWORD ms) {
  if (!process_) return STILL_ACTIVE;
  if (WaitForSingleObject(process_.get(), ms) != WAIT_OBJECT_0) return STILL_ACTIVE;
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process_.get(), &code);
  return code;
}

bool Process::Running() const {
  return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

void Process::Terminate() {
  if (!process_) return;
  if (WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_.get(), 1);
    WaitForSingleObject(process_.get(), 5000);
  }
  process_.reset();
  thread_.reset();
}

bool Process::Pause() {
  if (!thread_ || SuspendThread(thread_.get()) == static_cast<DWORD>(-1)) return false;
  // The suspension lands asynchronously; reading the context waits for it
  // (Wine gives up after 100 ms and fails, so ask again).
  for (int tries = 0; tries < 100; ++tries) {
    CONTEXT context{};
    context.ContextFlags = CONTEXT_CONTROL;
    if (GetThreadContext(thread_.get(), &context)) return true;
    if (WaitForSingleObject(thread_.get(), 0) == WAIT_OBJECT_0) break;
  }
  ResumeThread(thread_.get());
  return false;
}

void Process::Resume() {
  if (thread_) ResumeThread(thread_.get());
}

DWORD Run(const std::string& exe, const std::string& args, DWORD ms) {
  Process p;
  if (!p.Start(exe, args)) return static_cast<DWORD>(-1);
  return p.Wait(ms);
}

// ---- the file browser stand-in --------------------------------------------

namespace {
const char kExplorerLog[] = "C:\\rig\\explorer.log";
}

std::vector<ExplorerCall> ExplorerCalls() {
  std::vector<ExplorerCall> calls;
  std::string text;
  if (!ReadFileText(kExplorerLog, &text)) return calls;
  // Records are "params=<...>\ncwd=<...>\n".
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t e1 = text.find('\n', pos);
    if (e1 == std::string::npos) break;
    const size_t e2 = text.find('\n', e1 + 1);
    if (e2 == std::string::npos) break;
    ExplorerCall call;
    call.parameters = text.substr(pos + 7, e1 - pos - 7);
    call.directory = text.substr(e1 + 5, e2 - e1 - 5);
    calls.push_back(call);
    pos = e2 + 1;
  }
  return calls;
}

void ClearExplorerCalls() { DeleteFileA(kExplorerLog); }

std::vector<ExplorerCall> WaitForExplorerCalls(size_t count, DWORD ms) {
  const double until = NowMs() + ms;
  for (;;) {
    auto calls = ExplorerCalls();
    if (calls.size() >= count || NowMs() > until) return calls;
    Sleep(20);
  }
}

// ---- watching a value over time -------------------------------------------

double NowMs() {
  LARGE_INTEGER now, freq;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&freq);
  return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(freq.QuadPart);
}

ValueWatcher::ValueWatcher(HKEY root, std::string path, std::string name)
    : root_(root), path_(std::move(path)), name_(std::move(name)) {}

ValueWatcher::~ValueWatcher() { Stop(); }

bool ValueWatcher::Start() {
  key_ = Open(root_, path_, KEY_READ);
  if (!key_) return false;
  changed_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  stop_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  QueryPerformanceFrequency(&freq_);
  QueryPerformanceCounter(&start_);
  if (RegNotifyChangeKeyValue(key_.get(), TRUE, REG_NOTIFY_CHANGE_LAST_SET, changed_.get(), TRUE) !=
      ERROR_SUCCESS)
    return false;
  samples_.push_back({0.0, ReadValue(root_, path_, name_)});
  thread_.reset(CreateThread(nullptr, 0, Thread, this, 0, nullptr));
  return static_cast<bool>(thread_);
}

DWORD WINAPI ValueWatcher::Thread(void* param) {
  auto* self = static_cast<ValueWatcher*>(param);
  HANDLE handles[] = {self->stop_.get(), self->changed_.get()};
  for (;;) {
    if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return 0;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const double ms =
        1000.0 * double(now.QuadPart - self->start_.QuadPart) / double(self->freq_.QuadPart);
    // Re-arm before reading so a change after the read still wakes us.
    ResetEvent(self->changed_.get());
    if (RegNotifyChangeKeyValue(self->key_.get(), TRUE, REG_NOTIFY_CHANGE_LAST_SET,
                                self->changed_.get(), TRUE) != ERROR_SUCCESS)
      return 0;
    Value v = ReadValue(self->root_, self->path_, self->name_);
    const Value& last = self->samples_.back().value;
    if (v.present != last.present || v.bytes != last.bytes || v.type != last.type)
      self->samples_.push_back({ms, std::move(v)});
  }
}

std::vector<Sample> ValueWatcher::Stop() {
  if (thread_) {
    SetEvent(stop_.get());
    WaitForSingleObject(thread_.get(), 5000);
    thread_.reset();
  }
  return samples_;
}

// ---- files ------------------------------------------------------------------

bool ReadFileText(const std::string& path, std::string* text) {
  const win::unique_handle file(CreateFileA(path.c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return false;
  text->clear();
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
    text->append(buffer, got);
  return true;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace rig
