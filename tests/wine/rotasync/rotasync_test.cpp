// rotasync under Wine: what the stand-in capture devices receive, and when.
#include <gtest/gtest.h>

#include <string>

#include "capture.h"
#include "dialog_driver.h"
#include "rig.h"

namespace {

const char kCamera[] = "Veltra QV7 USB2.0 Camera";
const char kCaption[] = "Rotasync(VT4R88x)";
const char kRotationSet[] = "{F1CAFC1D-D7D6-400F-A7FD-96715E0BD959}";
// Long enough for a sync that would send to have sent.
constexpr DWORD kQuietMs = 800;

// The block as the driver must see it: set, id 21, flags 2, code, zeros.
rig::Bytes ExpectedBlock(unsigned char code) {
  rig::Bytes block = {0x1D, 0xFC, 0xCA, 0xF1, 0xD6, 0xD7, 0x0F, 0x40, 0xA7, 0xFD,
                      0x96, 0x71, 0x5E, 0x0B, 0xD9, 0x59, 21,   0,    0,    0,
                      2,    0,    0,    0,    code, 0,    0,    0};
  block.resize(304, 0);
  return block;
}

class Monitor : public ::testing::Test {
 protected:
  void SetUp() override {
    rig::RemoveCameras();
    rig::RemoveCaptureDevices();
    rig::ClearCaptureLog();
  }
  void TearDown() override { Close(); }

  // Starts rotasync and waits for its dialog window.
  void Start() {
    ASSERT_TRUE(monitor.Start(rig::ProgramPath("rotasync.exe")));
    const double until = rig::NowMs() + 10000;
    while ((window = FindWindowA(nullptr, kCaption)) == nullptr && rig::NowMs() < until) Sleep(20);
    ASSERT_NE(window, nullptr) << "no dialog window";
  }

  void Close() {
    if (window) PostMessageA(window, WM_CLOSE, 0, 0);
    window = nullptr;
    monitor.Wait(5000);
    monitor.Terminate();
  }

  // A camera whose driver description and capture device name agree.
  void StageMatchingCamera() {
    rig::StageCamera("0000", kCamera);
    rig::RegisterCaptureDevice("cam0", kCamera);
  }

  // Waits for `count` deliveries in all, then makes sure no more follow.
  std::vector<rig::PropertySent> Deliveries(size_t count) {
    rig::WaitForSets(count, 5000);
    Sleep(kQuietMs);
    return rig::ReadCaptureLog().sets;
  }

  void PostRotateNotify() { PostMessageA(window, RegisterWindowMessageA("RotateNotify"), 0, 0); }

  rig::Process monitor;
  HWND window = nullptr;
};

class RotasyncDelivery : public Monitor {};
class RotasyncSnapshot : public Monitor {};
class RotasyncLifetime : public Monitor {};
class RotasyncNoCamera : public Monitor {};
class RotasyncMatching : public Monitor {};
class RotasyncDevices : public Monitor {};
class RotasyncOrientation : public Monitor {};

TEST_F(RotasyncDelivery, StartSendsCodeOneAndEachRotateNotifyOneMore) {
  StageMatchingCamera();
  Start();
  auto sets = Deliveries(1);
  ASSERT_EQ(sets.size(), 1u) << "one delivery at start";
  const rig::PropertySent& first = sets[0];
  EXPECT_EQ(first.device, kCamera);
  EXPECT_EQ(first.set, kRotationSet);
  EXPECT_EQ(first.id, 21u);
  EXPECT_EQ(first.instanceLength, 304u);
  EXPECT_EQ(first.dataLength, 304u);
  EXPECT_EQ(first.instance, ExpectedBlock(1));
  EXPECT_EQ(first.data, ExpectedBlock(1));
  EXPECT_FALSE(IsWindowVisible(window)) << "the dialog stays hidden";

  PostRotateNotify();
  sets = Deliveries(2);
  ASSERT_EQ(sets.size(), 2u);
  EXPECT_EQ(sets[1].data, ExpectedBlock(1));

  // A click on a radio button sends that button's code.
  SendMessageA(GetDlgItem(window, 1002), BM_CLICK, 0, 0);
  sets = Deliveries(3);
  ASSERT_EQ(sets.size(), 3u);
  EXPECT_EQ(sets[2].data, ExpectedBlock(3));
  EXPECT_TRUE(monitor.Running());
}

TEST_F(RotasyncSnapshot, OnlyAStateOfTwoAfterAChangeSyncsAgain) {
  StageMatchingCamera();
  Start();
  ASSERT_EQ(Deliveries(1).size(), 1u);
  const std::string settings = rig::SettingsKey("0000");

  struct Step {
    const char* label;
    void (*act)(const std::string& settings);
    size_t total;
  };
  const Step steps[] = {
      {"snappulse run", [](const std::string&) { rig::Run(rig::ProgramPath("snappulse.exe")); }, 2},
      {"state 3",
       [](const std::string& s) { rig::SetDword(HKEY_LOCAL_MACHINE, s, "SnapShotState", 3); }, 2},
      {"state 1",
       [](const std::string& s) { rig::SetDword(HKEY_LOCAL_MACHINE, s, "SnapShotState", 1); }, 2},
      {"state 0",
       [](const std::string& s) { rig::SetDword(HKEY_LOCAL_MACHINE, s, "SnapShotState", 0); }, 2},
      {"state 2",
       [](const std::string& s) { rig::SetDword(HKEY_LOCAL_MACHINE, s, "SnapShotState", 2); }, 3},
      {"subkey value while 2",
       [](const std::string& s) { rig::SetDword(HKEY_LOCAL_MACHINE, s + "\\Sub", "Other", 7); }, 4},
      {"other value while 2",
       [](const std::string& s) { rig::SetDword(HKEY_LOCAL_MACHINE, s, "Other", 8); }, 5},
      {"state removed",
       [](const std::string& s) { rig::DeleteValue(HKEY_LOCAL_MACHINE, s, "SnapShotState"); }, 5},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.label);
    step.act(settings);
    EXPECT_EQ(Deliveries(step.total).size(), step.total);
  }
  EXPECT_TRUE(monitor.Running());
}

TEST_F(RotasyncLifetime, SecondCopyEndsAtOnceAndCloseEndsTheFirst) {
  StageMatchingCamera();
  Start();
  ASSERT_EQ(Deliveries(1).size(), 1u);

  rig::Process second;
  ASSERT_TRUE(second.Start(rig::ProgramPath("rotasync.exe")));
  // Not at once under an emulator on a busy host; a copy that stayed would never end.
  EXPECT_EQ(second.Wait(15000), 0u) << "a second copy ends";
  EXPECT_EQ(Deliveries(1).size(), 1u) << "and sends nothing";
  EXPECT_TRUE(monitor.Running());

  // The watcher may still be waiting: closing must not wait for it.
  const double start = rig::NowMs();
  PostMessageA(window, WM_CLOSE, 0, 0);
  window = nullptr;
  EXPECT_EQ(monitor.Wait(3000), 0u);
  EXPECT_LT(rig::NowMs() - start, 2000.0);

  // The mutex went with it: a new copy runs.
  Start();
  EXPECT_EQ(Deliveries(2).size(), 2u);
}

TEST_F(RotasyncLifetime, OkCommandClosesLikeWmClose) {
  Start();
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  window = nullptr;
  EXPECT_EQ(monitor.Wait(3000), 0u);
}

TEST_F(RotasyncNoCamera, KeepsRunningAndSendsNothing) {
  struct Row {
    const char* label;
    void (*stage)();
  };
  const Row rows[] = {
      {"no capture device", [] { rig::StageCamera("0000", kCamera); }},
      {"no Driver key", [] { rig::RegisterCaptureDevice("cam0", kCamera); }},
      {"InstanceIndex 0",
       [] {
         rig::StageCamera("0000", kCamera);
         rig::SetDword(HKEY_LOCAL_MACHINE, rig::kDriverKey, "InstanceIndex", 0);
         rig::RegisterCaptureDevice("cam0", kCamera);
       }},
      {"no DriverDesc",
       [] {
         rig::StageCamera("0000", kCamera);
         rig::DeleteValue(HKEY_LOCAL_MACHINE, rig::DeviceKey("0000"), "DriverDesc");
         rig::RegisterCaptureDevice("cam0", kCamera);
       }},
      {"description differs",
       [] {
         rig::StageCamera("0000", "Another Camera");
         rig::RegisterCaptureDevice("cam0", kCamera);
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    SetUp();
    row.stage();
    Start();
    PostRotateNotify();
    EXPECT_TRUE(Deliveries(0).empty());
    EXPECT_TRUE(rig::ReadCaptureLog().binds.empty()) << "no filter bound";
    EXPECT_TRUE(monitor.Running());
    Close();
  }
}

TEST_F(RotasyncMatching, NameAndDescriptionAgreeInTheFirst24Characters) {
  struct Row {
    const char* description;
    const char* name;
    bool match;
  };
  const Row rows[] = {
      {"Veltra QV7 USB2.0 Camera", "Veltra QV7 USB2.0 Camera", true},
      {"Veltra QV7 USB2.0 Camera (driver 2.1)", "Veltra QV7 USB2.0 Camera #2", true},
      {"Veltra Cam", "Veltra Cam 2", false},
      {"Veltra Cam", "Veltra Cam", true},
      {"Veltra QV7 USB2.0 Camera", "VELTRA QV7 USB2.0 CAMERA", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.description) + " / " + row.name);
    SetUp();
    rig::StageCamera("0000", row.description);
    rig::RegisterCaptureDevice("cam0", row.name);
    Start();
    EXPECT_EQ(Deliveries(row.match ? 1 : 0).size(), row.match ? 1u : 0u);
    Close();
  }
}

TEST_F(RotasyncMatching, FriendlyNamesOfAnyLengthAreSafe) {
  const std::string longName = std::string(kCamera) + std::string(2000, 'x');
  rig::StageCamera("0000", kCamera);
  rig::RegisterCaptureDevice("cam0", longName);
  Start();
  const auto sets = Deliveries(1);
  ASSERT_EQ(sets.size(), 1u) << "agrees in its first 24 characters";
  EXPECT_TRUE(monitor.Running());
}

TEST_F(RotasyncDevices, FirstMatchingDeviceWhoseFilterBindsReceivesIt) {
  rig::StageCamera("0000", kCamera);
  rig::RegisterCaptureDevice("a-other", "Some Other Camera");
  rig::RegisterCaptureDevice("b-unbound", kCamera, rig::CaptureKind::Unbound);
  rig::RegisterCaptureDevice("c-first", std::string(kCamera) + " first");
  rig::RegisterCaptureDevice("d-second", std::string(kCamera) + " second");
  Start();
  const auto sets = Deliveries(1);
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(sets[0].device, std::string(kCamera) + " first");
  EXPECT_EQ(rig::ReadCaptureLog().binds, std::vector<std::string>{sets[0].device});
}

TEST_F(RotasyncDevices, RefusedPropertyIsNotRetried) {
  rig::StageCamera("0000", kCamera);
  rig::RegisterCaptureDevice("cam0", kCamera, rig::CaptureKind::Refusing);
  rig::RegisterCaptureDevice("cam1", kCamera);
  Start();
  auto sets = Deliveries(1);
  ASSERT_EQ(sets.size(), 1u) << "one attempt, no retry, no second device";
  EXPECT_NE(sets[0].result, 0u);
  PostRotateNotify();
  EXPECT_EQ(Deliveries(2).size(), 2u) << "the next trigger starts over";
  EXPECT_TRUE(monitor.Running());
}

TEST_F(RotasyncDevices, FilterWithoutPropertySetIsReleasedQuietly) {
  rig::StageCamera("0000", kCamera);
  rig::RegisterCaptureDevice("cam0", kCamera, rig::CaptureKind::NoPropertySet);
  Start();
  // Waited for, not slept on: an emulated 32-bit monitor binds late under load.
  const auto binds = [](size_t n) {
    return rig::WaitUntil([n] { return rig::ReadCaptureLog().binds.size() >= n; });
  };
  EXPECT_TRUE(binds(1));
  EXPECT_TRUE(Deliveries(0).empty());
  EXPECT_EQ(rig::ReadCaptureLog().binds.size(), 1u);
  PostRotateNotify();
  EXPECT_TRUE(binds(2));
  EXPECT_EQ(rig::ReadCaptureLog().binds.size(), 2u) << "bound again on the next trigger";
  EXPECT_TRUE(monitor.Running());
}

TEST_F(RotasyncOrientation, QuarterTurnsMapCrosswise) {
  StageMatchingCamera();
  Start();
  ASSERT_EQ(Deliveries(1).size(), 1u);
  struct Row {
    DWORD orientation;
    unsigned char code;
  };
  const Row rows[] = {{1, 4}, {2, 3}, {3, 2}, {0, 1}};
  size_t total = 1;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.orientation);
    ASSERT_TRUE(rig::FakeDisplayOrientation(row.orientation));
    const auto sets = Deliveries(++total);
    ASSERT_EQ(sets.size(), total);
    EXPECT_EQ(sets.back().data, ExpectedBlock(row.code));
  }
}

}  // namespace
