// snappulse under Wine: the "SnapShotState" values over time.
#include <gtest/gtest.h>

#include "rig.h"

namespace {

class SnapPulse : public ::testing::Test {
 protected:
  void SetUp() override { rig::RemoveCameras(); }

  std::vector<rig::Sample> Pulse(const std::string& settingsKey, const std::string& args = "") {
    rig::ValueWatcher watcher(HKEY_LOCAL_MACHINE, settingsKey, "SnapShotState");
    EXPECT_TRUE(watcher.Start());
    const double start = rig::NowMs();
    EXPECT_EQ(rig::Run(rig::ProgramPath("snappulse.exe"), args), 0u);
    elapsed = rig::NowMs() - start;
    Sleep(100);  // let the last notification arrive
    return watcher.Stop();
  }

  double elapsed = 0;
};

TEST_F(SnapPulse, WritesTwoThenZeroHalfASecondApart) {
  rig::StageCamera("0000");
  const auto samples = Pulse(rig::SettingsKey("0000"));
  ASSERT_EQ(samples.size(), 3u);
  EXPECT_FALSE(samples[0].value.present) << "a missing value is created by the first write";
  EXPECT_EQ(samples[1].value.type, DWORD(REG_DWORD));
  EXPECT_EQ(samples[1].value.bytes, (rig::Bytes{2, 0, 0, 0}));
  EXPECT_EQ(samples[2].value.bytes, (rig::Bytes{0, 0, 0, 0}));
  // The run holds the pause whole; the watcher's own wake-ups add jitter.
  EXPECT_GE(elapsed, 500.0);
  EXPECT_GE(samples[2].ms - samples[1].ms, 450.0);
  EXPECT_EQ(rig::ReadValue(HKEY_LOCAL_MACHINE, rig::SettingsKey("0000"), "SnapShotState").AsDword(),
            0u);
}

TEST_F(SnapPulse, EndsAtZeroWhateverWasThereAndWhateverItIsGiven) {
  rig::StageCamera("0002", "cam", 3);
  rig::SetValue(HKEY_LOCAL_MACHINE, rig::SettingsKey("0002"), "SnapShotState", REG_SZ, {'9', 0});
  const auto samples = Pulse(rig::SettingsKey("0002"), "-x ignored");
  ASSERT_EQ(samples.size(), 3u);
  EXPECT_EQ(samples[1].value.AsDword(), 2u);
  EXPECT_EQ(samples[2].value.type, DWORD(REG_DWORD));
  EXPECT_EQ(samples[2].value.AsDword(), 0u);
}

TEST_F(SnapPulse, TouchesNothingWithoutAUsableInstance) {
  struct Row {
    const char* label;
    std::string instancePath;  // empty: no Driver key at all
  };
  const Row rows[] = {
      {"no Driver key", ""},
      {"instance path of 18 characters", "\\Registry\\MACHINE\\"},
      {"Settings key missing", rig::InstancePath("0009")},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    rig::RemoveCameras();
    rig::CreateKey(HKEY_LOCAL_MACHINE, rig::SettingsKey("0000"));
    if (!row.instancePath.empty()) {
      rig::SetDword(HKEY_LOCAL_MACHINE, rig::kDriverKey, "InstanceIndex", 1);
      rig::SetString(HKEY_LOCAL_MACHINE, rig::kDriverKey, "ii0001", row.instancePath);
    }
    const auto samples = Pulse(rig::SettingsKey("0000"));
    EXPECT_EQ(samples.size(), 1u) << "no write";
    EXPECT_FALSE(rig::KeyExists(HKEY_LOCAL_MACHINE, rig::SettingsKey("0009")))
        << "no key is created";
  }
}

}  // namespace
