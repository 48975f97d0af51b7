// rotasync under load: a burst of RotateNotify posts and a storm of snapshot
// state changes must leave it running, delivering one sync at a time, with
// no handles or memory left behind; and it must still close at once.
#include <windows.h>

#include <psapi.h>
#include <winternl.h>
#include <dshow.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../capture_filter/capture_filter.h"
#include "capture.h"
#include "dialog_driver.h"
#include "rig.h"

namespace {

const char kCaption[] = "Rotasync(VT4R88x)";
const char kCamera[] = "Veltra QV7 USB2.0 Camera";
constexpr int kBurst = 1000;
constexpr int kChanges = 1000;
// No-hang limits only: a burst of syncs under Wine takes tens of seconds.
constexpr DWORD kBurstLimitMs = 120000;
constexpr DWORD kQuietMs = 800;

struct Usage {
  DWORD handles = 0;
  SIZE_T privateBytes = 0, workingSet = 0;
};

// The system's handle table, entries of one process counted. Wine answers
// GetProcessHandleCount with 0 for every process but keeps this table.
DWORD HandlesInSystemTable(DWORD pid) {
  struct Entry {
    ULONG ownerPid;
    BYTE objectType, flags;
    USHORT value;
    PVOID object;
    ULONG access;
  };
  constexpr NTSTATUS kLengthMismatch = static_cast<NTSTATUS>(0xC0000004);
  std::vector<ULONG_PTR> buffer(1 << 16);
  NTSTATUS status;
  while ((status = NtQuerySystemInformation(
              static_cast<SYSTEM_INFORMATION_CLASS>(16), buffer.data(),
              static_cast<ULONG>(buffer.size() * sizeof(ULONG_PTR)), nullptr)) == kLengthMismatch &&
         buffer.size() < (1u << 24))
    buffer.resize(buffer.size() * 2);
  if (status != 0) return 0;
  const ULONG count = static_cast<ULONG>(buffer[0]);
  const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + 1);
  DWORD n = 0;
  for (ULONG i = 0; i < count; ++i) n += entries[i].ownerPid == pid;
  return n;
}

// On 64-bit Windows the 32-bit monitor's devices live in the 32-bit classes
// view; this 64-bit process enumerates the 64-bit one, which then gets the
// same device list. (32-bit Windows has one view for both.)
class MirroredDevice {
 public:
  MirroredDevice() {
    if (rig::CurrentHost() != rig::kWow64) return;
    RegCreateKeyExA(HKEY_CLASSES_ROOT, kKey, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                    nullptr, key_.put(), nullptr);
    RegSetValueExA(key_.get(), "CLSID", 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(capture_filter::kAcceptingClsid),
                   sizeof capture_filter::kAcceptingClsid);
    RegSetValueExA(key_.get(), "FriendlyName", 0, REG_SZ, reinterpret_cast<const BYTE*>(kCamera),
                   sizeof kCamera);
  }
  ~MirroredDevice() {
    if (!key_) return;
    key_.reset();
    RegDeleteKeyExA(HKEY_CLASSES_ROOT, kKey, KEY_WOW64_64KEY, 0);
  }

 private:
  static constexpr char kKey[] = "CLSID\\{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\Instance\\cam0";
  win::unique_hkey key_;
};

// Handles the platform's device enumerator keeps for itself per enumeration
// of the video input devices (two registry keys under Wine 8, none on
// Windows), measured in this process: they are not the monitor's.
double PlatformHandlesPerEnumeration() {
  constexpr int kRounds = 50;
  const MirroredDevice mirror;
  if (FAILED(CoInitialize(nullptr))) return 0;
  DWORD start = 0;
  // Round 0 pays for what the first use keeps for good.
  for (int i = 0; i <= kRounds; ++i) {
    if (i == 1) start = HandlesInSystemTable(GetCurrentProcessId());
    win::com_ptr<ICreateDevEnum> devices;
    win::com_ptr<IEnumMoniker> monikers;
    if (CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                         devices.put_void()) != S_OK ||
        devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.put(), 0) != S_OK)
      break;
    win::com_ptr<IMoniker> moniker;
    while (monikers->Next(1, moniker.put(), nullptr) == S_OK) {
      win::com_ptr<IPropertyBag> bag;
      if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.put_void()))) {
        VARIANT name;
        VariantInit(&name);
        name.vt = VT_BSTR;
        bag->Read(L"FriendlyName", &name, nullptr);
        VariantClear(&name);
      }
    }
  }
  const DWORD end = HandlesInSystemTable(GetCurrentProcessId());
  CoUninitialize();
  return end > start ? double(end - start) / kRounds : 0;
}

Usage Measure(const rig::Process& process) {
  Usage u;
  if (!GetProcessHandleCount(process.handle(), &u.handles) || u.handles == 0)
    u.handles = HandlesInSystemTable(process.id());
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  if (K32GetProcessMemoryInfo(process.handle(),
                              reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof counters)) {
    // The same figure on Windows; Wine fills only the older field.
    u.privateBytes = counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
    u.workingSet = counters.WorkingSetSize;
  }
  return u;
}

void Print(const char* when, const Usage& u) {
  std::printf("rotasync %s: handles %lu, private bytes %lu KB, working set %lu KB\n", when,
              static_cast<unsigned long>(u.handles),
              static_cast<unsigned long>(u.privateBytes / 1024),
              static_cast<unsigned long>(u.workingSet / 1024));
}

// Waits until the log has stopped growing for kQuietMs; returns the count.
size_t SettledDeliveries(size_t atLeast, DWORD limitMs) {
  const double until = rig::NowMs() + limitMs;
  size_t last = rig::ReadCaptureLog().sets.size();
  double changed = rig::NowMs();
  while (rig::NowMs() < until) {
    Sleep(100);
    const size_t now = rig::ReadCaptureLog().sets.size();
    if (now != last) {
      last = now;
      changed = rig::NowMs();
    } else if (now >= atLeast && rig::NowMs() - changed >= kQuietMs) {
      break;
    }
  }
  return last;
}

// One at a time: every bind is followed by its own set before the next bind,
// and the times never go back.
void ExpectOneAtATime() {
  std::string text;
  ASSERT_TRUE(rig::ReadFileText("C:\\rig\\capture.log", &text));
  bool bound = false;
  long long previous = 0;
  size_t line = 0;
  for (size_t at = 0; at < text.size(); ++line) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string entry = text.substr(at, end - at);
    at = end + 1;
    const long long ms = std::atoll(entry.substr(entry.rfind('\t') + 1).c_str());
    ASSERT_GE(ms, previous) << "line " << line;
    previous = ms;
    if (entry.rfind("bind\t", 0) == 0) {
      ASSERT_FALSE(bound) << "a second bind before the first's set, line " << line;
      bound = true;
    } else if (entry.rfind("set\t", 0) == 0) {
      ASSERT_TRUE(bound) << "a set without its bind, line " << line;
      bound = false;
    }
  }
}

TEST(RotasyncRobustness, BurstsLeaveItRunningLeakFreeAndClosable) {
  rig::RemoveCameras();
  rig::RemoveCaptureDevices();
  rig::ClearCaptureLog();
  rig::StageCamera("0000", kCamera);
  rig::RegisterCaptureDevice("cam0", kCamera);
  const std::string settings = rig::SettingsKey("0000");
  const UINT rotateNotify = RegisterWindowMessageA("RotateNotify");

  rig::Process monitor;
  ASSERT_TRUE(monitor.Start(rig::ProgramPath("rotasync.exe")));
  HWND window = nullptr;
  ASSERT_TRUE(rig::WaitUntil([&] { return (window = FindWindowA(nullptr, kCaption)) != nullptr; }));
  ASSERT_EQ(rig::WaitForSets(1).sets.size(), 1u);
  // One sync more, so what the first use of COM and the enumerator keeps
  // for good is counted before, not as growth.
  DWORD_PTR answer = 0;
  ASSERT_NE(SendMessageTimeoutA(window, rotateNotify, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer), 0);
  const Usage before = Measure(monitor);
  Print("after start", before);

  const double burstStart = rig::NowMs();
  for (int i = 0; i < kBurst; ++i) ASSERT_TRUE(PostMessageA(window, rotateNotify, 0, 0));
  const size_t afterBurst = SettledDeliveries(2 + kBurst, kBurstLimitMs);
  std::printf("rotasync: %d RotateNotify posts gave %zu deliveries in %.0f ms\n", kBurst,
              afterBurst - 2, rig::NowMs() - burstStart);
  EXPECT_EQ(afterBurst, 2u + kBurst) << "one delivery per post";
  ExpectOneAtATime();

  // Every write a change; every tenth a 2. Writes faster than the watcher
  // wakes may be seen together, so a 2 syncs at most once.
  int twos = 0;
  for (int i = 1; i <= kChanges; ++i) {
    const DWORD value = i % 10 == 0 ? 2 : static_cast<DWORD>(i % 2);
    twos += value == 2;
    rig::SetDword(HKEY_LOCAL_MACHINE, settings, "SnapShotState", value);
  }
  const size_t afterChanges = SettledDeliveries(afterBurst, kBurstLimitMs);
  std::printf("rotasync: %d SnapShotState changes (%d of them 2) gave %zu deliveries\n", kChanges,
              twos, afterChanges - afterBurst);
  EXPECT_LE(afterChanges - afterBurst, static_cast<size_t>(twos)) << "no sync without a 2";
  ExpectOneAtATime();

  // The watcher still watches: one more pulse, one more delivery.
  rig::SetDword(HKEY_LOCAL_MACHINE, settings, "SnapShotState", 0);
  Sleep(200);
  rig::SetDword(HKEY_LOCAL_MACHINE, settings, "SnapShotState", 2);
  EXPECT_EQ(SettledDeliveries(afterChanges + 1, 10000), afterChanges + 1);

  const Usage after = Measure(monitor);
  Print("after the bursts", after);
  // Every sync enumerates the devices afresh and delivers once.
  const double platform = PlatformHandlesPerEnumeration() * double(afterChanges + 1 - 2);
  std::printf("rotasync: handles the device enumerator keeps for %zu syncs: %.0f\n",
              afterChanges - 1, platform);
  ASSERT_NE(before.handles, 0u) << "no handle count";
  ASSERT_NE(before.privateBytes, 0u) << "no private bytes";
  EXPECT_NEAR(double(after.handles) - double(before.handles), platform, 5.0);
  EXPECT_LE(after.privateBytes, before.privateBytes + 1024 * 1024);

  ASSERT_TRUE(monitor.Running());
  ASSERT_NE(SendMessageTimeoutA(window, rotateNotify, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer), 0);
  EXPECT_EQ(rig::ReadCaptureLog().sets.size(), afterChanges + 2) << "still delivering";

  // The watcher is blocked in its wait: closing must not wait for it.
  const double closeStart = rig::NowMs();
  ASSERT_TRUE(PostMessageA(window, WM_CLOSE, 0, 0));
  EXPECT_EQ(WaitForSingleObject(monitor.handle(), 1000), WAIT_OBJECT_0);
  std::printf("rotasync: WM_CLOSE to exit %.0f ms\n", rig::NowMs() - closeStart);
  EXPECT_EQ(monitor.Wait(0), 0u);
}

}  // namespace
