// Hostile capture devices and driver records against the real rotasync: names
// and descriptions of any length, type and text, snapshot states of the wrong
// type or size. Every row must keep the monitor running and answering, and
// deliver exactly as often as the row says.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "capture.h"
#include "rig.h"

namespace {

const char kCaption[] = "Rotasync(VT4R88x)";
const char kCamera[] = "Veltra QV7 USB2.0 Camera";
const char kInstances[] = "CLSID\\{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\Instance\\";
// Long enough for a sync that would send to have sent.
constexpr DWORD kQuietMs = 800;
// For a delivery a row expects: its sync may first read 9999 instance values,
// over a second under Wine.
constexpr DWORD kDeliveryLimitMs = 10000;

rig::Bytes Raw(const std::string& text) { return rig::Bytes(text.begin(), text.end()); }

// A friendly name of any text, stored as the platform stores it: UTF-16.
void RegisterWideDevice(const std::string& key, const std::wstring& name) {
  rig::RegisterCaptureDevice(key, "placeholder");
  const auto* bytes = reinterpret_cast<const unsigned char*>(name.c_str());
  HKEY k = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, (kInstances + key).c_str(), 0,
                          KEY_SET_VALUE | rig::ClassesView(), &k),
            0);
  const win::unique_hkey owned(k);
  ASSERT_EQ(RegSetValueExW(owned.get(), L"FriendlyName", 0, REG_SZ, bytes,
                           static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t))),
            0);
}

// The name as this prefix's ANSI code page renders it, which is what the
// monitor compares with the description.
std::string Ansi(const std::wstring& name) {
  std::string out(name.size() * 4 + 1, '\0');
  const int n = WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, &out[0],
                                    static_cast<int>(out.size()), nullptr, nullptr);
  out.resize(n > 0 ? static_cast<size_t>(n - 1) : 0);
  return out;
}

void Description(DWORD type, const rig::Bytes& bytes) {
  rig::SetValue(HKEY_LOCAL_MACHINE, rig::DeviceKey("0000"), "DriverDesc", type, bytes);
}
void SnapShotState(DWORD type, const rig::Bytes& bytes) {
  rig::SetValue(HKEY_LOCAL_MACHINE, rig::SettingsKey("0000"), "SnapShotState", type, bytes);
}

struct Row {
  const char* label;
  std::function<void()> stage;
  size_t atStart;                  // deliveries from the start's sync
  std::function<void()> act;       // while running, or nothing
  size_t afterAct;                 // deliveries in all after it
  unsigned hosts = rig::kAnyHost;  // the host models whose registry views it needs
};

std::vector<Row> Rows() {
  const std::string long255 = std::string(kCamera) + std::string(231, 'L');
  const std::wstring cyrillic = L"\x0412\x0435\x0431-\x043A\x0430\x043C\x0435\x0440\x0430 QV7";
  const std::wstring accented = L"Cam\x00E9ra f\x00FCr QV7";
  std::wstring cjk;
  for (int i = 0; i < 130; ++i) cjk += static_cast<wchar_t>(0x6444 + i % 7);
  return {
      // Names: the wide copy keeps 119 characters, the ANSI one 79 bytes.
      {"name and description of 255 characters",
       [=] {
         rig::StageCamera("0000", long255);
         rig::RegisterCaptureDevice("cam0", long255);
       },
       1, nullptr, 1},
      // A name the code page cannot hold matches nothing, not even the form
      // that best fit makes of it; one it holds matches as it reads.
      {"Cyrillic name against its ANSI form",
       [=] {
         rig::StageCamera("0000", Ansi(cyrillic));
         RegisterWideDevice("cam0", cyrillic);
       },
       0, nullptr, 0},
      {"130 CJK characters against their ANSI form",
       [=] {
         rig::StageCamera("0000", Ansi(cjk).substr(0, 255));
         RegisterWideDevice("cam0", cjk);
       },
       0, nullptr, 0},
      {"accented name the code page holds",
       [=] {
         rig::StageCamera("0000", Ansi(accented));
         RegisterWideDevice("cam0", accented);
       },
       1, nullptr, 1},
      // Descriptions: 256 bytes hold 255 characters and the terminator.
      {"DriverDesc of 255 bytes, unterminated",
       [=] {
         rig::StageCamera("0000", kCamera);
         Description(REG_BINARY, Raw(long255));
         rig::RegisterCaptureDevice("cam0", kCamera);
       },
       1, nullptr, 1},
      {"DriverDesc of 256 bytes, unterminated: no room for the end",
       [=] {
         rig::StageCamera("0000", kCamera);
         Description(REG_BINARY, Raw(long255 + 'L'));
         rig::RegisterCaptureDevice("cam0", kCamera);
       },
       0, nullptr, 0},
      {"DriverDesc of 300 bytes",
       [=] {
         rig::StageCamera("0000", kCamera);
         Description(REG_SZ, Raw(std::string(kCamera) + std::string(275, 'L') + '\0'));
         rig::RegisterCaptureDevice("cam0", kCamera);
       },
       0, nullptr, 0},
      {"empty DriverDesc never matches, not even an empty name",
       [=] {
         rig::StageCamera("0000", "");
         rig::RegisterCaptureDevice("cam0", "");
       },
       0, nullptr, 0},
      {"DriverDesc REG_DWORD: its four bytes are the text",
       [=] {
         rig::StageCamera("0000", kCamera);
         Description(REG_DWORD, Raw("Cam1"));
         rig::RegisterCaptureDevice("cam0", "Cam1");
       },
       1, nullptr, 1},
      // The description lookup tries at most 9999 names, each sync.
      {"InstanceIndex 0xFFFFFFFF without instance values",
       [=] {
         rig::StageCamera("0000", kCamera);
         rig::DeleteValue(HKEY_LOCAL_MACHINE, rig::kDriverKey, "ii0001");
         rig::SetDword(HKEY_LOCAL_MACHINE, rig::kDriverKey, "InstanceIndex", 0xFFFFFFFF);
         rig::RegisterCaptureDevice("cam0", kCamera);
       },
       0, nullptr, 0},
      {"InstanceIndex 0xFFFFFFFF reaches ii9999",
       [=] {
         rig::StageCamera("0000", kCamera);
         rig::DeleteValue(HKEY_LOCAL_MACHINE, rig::kDriverKey, "ii0001");
         rig::SetString(HKEY_LOCAL_MACHINE, rig::kDriverKey, "ii9999", rig::InstancePath("0000"));
         rig::SetDword(HKEY_LOCAL_MACHINE, rig::kDriverKey, "InstanceIndex", 0xFFFFFFFF);
         rig::RegisterCaptureDevice("cam0", kCamera);
       },
       1, nullptr, 1},
      // SnapShotState: at most 4 bytes are read into a number preset to 0;
      // whatever does not fit counts as 0. Only the number 2 syncs.
      {"SnapShotState REG_SZ \"2\" is the number 0x32",
       [=] {
         rig::StageCamera("0000", kCamera);
         rig::RegisterCaptureDevice("cam0", kCamera);
       },
       1, [] { SnapShotState(REG_SZ, Raw(std::string("2") + '\0')); }, 1},
      {"SnapShotState REG_BINARY of two bytes 02 00 is 2",
       [=] {
         rig::StageCamera("0000", kCamera);
         rig::RegisterCaptureDevice("cam0", kCamera);
       },
       1,
       [] {
         SnapShotState(REG_BINARY, {2, 0});
       },
       2},
      {"SnapShotState 0x102 is not 2",
       [=] {
         rig::StageCamera("0000", kCamera);
         rig::RegisterCaptureDevice("cam0", kCamera);
       },
       1,
       [] {
         SnapShotState(REG_DWORD, {2, 1, 0, 0});
       },
       1},
      {"SnapShotState REG_QWORD 2 does not fit",
       [=] {
         rig::StageCamera("0000", kCamera);
         rig::RegisterCaptureDevice("cam0", kCamera);
       },
       1,
       [] {
         SnapShotState(REG_QWORD, {2, 0, 0, 0, 0, 0, 0, 0});
       },
       1},
      // The description lookup and the watcher open the 64-bit view: a
      // record a 32-bit writer left in the 32-bit view is not the camera's.
      {"record only in the 32-bit view",
       [=] {
         rig::StageCamera("0000", kCamera);
         rig::DeleteTree(HKEY_LOCAL_MACHINE, rig::kDriverKey);
         rig::SetDword(HKEY_LOCAL_MACHINE, rig::kDriverKey32BitView, "InstanceIndex", 1);
         rig::SetString(HKEY_LOCAL_MACHINE, rig::kDriverKey32BitView, "ii0001",
                        rig::InstancePath("0000"));
         rig::RegisterCaptureDevice("cam0", kCamera);
       },
       0, [] { rig::SetDword(HKEY_LOCAL_MACHINE, rig::SettingsKey("0000"), "SnapShotState", 2); },
       0, rig::kWow64},
      // 32-bit Windows has no Wow6432Node: the watcher and the description
      // lookup read the record with KEY_READ.
      {"no Wow6432Node: the record read with KEY_READ",
       [=] {
         ASSERT_FALSE(rig::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Wow6432Node"));
         rig::StageCamera("0000", kCamera);
         rig::RegisterCaptureDevice("cam0", kCamera);
       },
       1, [] { rig::SetDword(HKEY_LOCAL_MACHINE, rig::SettingsKey("0000"), "SnapShotState", 2); },
       2, rig::kWin32},
      // Without a Settings key the watcher gives up; the monitor goes on.
      {"Settings key missing at start",
       [=] {
         rig::StageCamera("0000", kCamera);
         rig::DeleteTree(HKEY_LOCAL_MACHINE, rig::SettingsKey("0000"));
         rig::RegisterCaptureDevice("cam0", kCamera);
       },
       1, [] { rig::SetDword(HKEY_LOCAL_MACHINE, rig::SettingsKey("0000"), "SnapShotState", 2); },
       1},
  };
}

class HostileMonitor : public ::testing::Test {
 protected:
  void TearDown() override { Close(); }

  bool Start() {
    if (!monitor_.Start(rig::ProgramPath("rotasync.exe"))) return false;
    const double until = rig::NowMs() + 10000;
    while ((window_ = FindWindowA(nullptr, kCaption)) == nullptr && rig::NowMs() < until) Sleep(20);
    return window_ != nullptr;
  }
  void Close() {
    if (window_) PostMessageA(window_, WM_CLOSE, 0, 0);
    window_ = nullptr;
    monitor_.Wait(5000);
    monitor_.Terminate();
  }
  // The expected deliveries are waited for, then a quiet spell shows any more.
  static size_t Deliveries(size_t expected) {
    if (expected > 0) rig::WaitForSets(expected, kDeliveryLimitMs);
    Sleep(kQuietMs);
    return rig::ReadCaptureLog().sets.size();
  }
  // Sent, so a sync has run when it returns; a monitor stuck in a sync
  // fails the limit.
  bool AnswersRotateNotify() {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window_, RegisterWindowMessageA("RotateNotify"), 0, 0,
                               SMTO_ABORTIFHUNG, 5000, &result) != 0;
  }

  rig::Process monitor_;
  HWND window_ = nullptr;
};

TEST_F(HostileMonitor, EveryRowKeepsTheMonitorRunningAndDeliversAsItSays) {
  for (const Row& row : Rows()) {
    if (!(row.hosts & rig::CurrentHost())) continue;
    SCOPED_TRACE(row.label);
    rig::RemoveCameras();
    rig::RemoveCaptureDevices();
    rig::ClearCaptureLog();
    row.stage();
    ASSERT_TRUE(Start()) << "no dialog window";
    EXPECT_EQ(Deliveries(row.atStart), row.atStart);
    if (row.act) {
      row.act();
      EXPECT_EQ(Deliveries(row.afterAct), row.afterAct);
    }
    EXPECT_TRUE(AnswersRotateNotify());
    EXPECT_EQ(rig::ReadCaptureLog().sets.size(), row.afterAct + (row.atStart ? 1 : 0))
        << "a matching camera receives the RotateNotify's sync";
    EXPECT_TRUE(monitor_.Running());
    Close();
    EXPECT_FALSE(monitor_.Running());
  }
}

}  // namespace
