#include <gtest/gtest.h>

#include <string>

#include "core/driver_registry_rules.h"
#include "fake_registry.h"

namespace {

const std::string kDriver = core::kDriverKeyPath;
const std::string kClass =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\";

std::string InstancePathFor(const std::string& number) {
  return "\\Registry\\MACHINE\\" + kClass + number + "\\Settings";
}

class DriverRecord : public ::testing::Test {
 protected:
  void SetUp() override {
    reg.AddKey(core::kViewProbePath);
    reg.AddKey(kDriver);
  }

  // Runs the tools' lookup the way vantor and snappulse do.
  bool LookUp(std::string* path = nullptr) {
    core::RegistryHost::Key key = 0;
    core::OpenDriverKey(reg, core::kToolMasks, core::kDriverKeyPath, &key);
    core::InstancePath found{};
    const bool ok = core::LookUpInstance(reg, key, &found);
    if (key) reg.Close(key);
    if (ok && path) *path = found.text;
    return ok;
  }

  FakeRegistry reg;
};

TEST_F(DriverRecord, ViewProbeChoosesTheDriverKeyMask) {
  EXPECT_EQ(core::ChooseDriverKeyMask(reg, core::kToolMasks), 0x20319u);
  EXPECT_EQ(core::ChooseDriverKeyMask(reg, core::kMonitorMasks), 0x20119u);
  EXPECT_EQ(reg.openKeys, 0) << "the probe closes what it opened";

  FakeRegistry flat;  // a 32-bit host has no separate view
  flat.AddKey(kDriver);
  EXPECT_EQ(core::ChooseDriverKeyMask(flat, core::kToolMasks), 0x20019u);
  EXPECT_EQ(core::ChooseDriverKeyMask(flat, core::kMonitorMasks), 0x20019u);
}

TEST_F(DriverRecord, HostRefusingBothViewFlagsStillFindsThe64BitRecord) {
  reg.rejectBothViews = true;
  reg.SetDword(kDriver, "InstanceIndex", 1);
  reg.SetText(kDriver, "ii0001", InstancePathFor("0000"));
  std::string path;
  ASSERT_TRUE(LookUp(&path));
  EXPECT_EQ(path, InstancePathFor("0000"));
  ASSERT_EQ(reg.opens.size(), 3u);
  EXPECT_EQ(reg.opens[0].mask, 0x20319u);
  EXPECT_EQ(reg.opens[1].path, core::kViewProbePath);
  EXPECT_EQ(reg.opens[1].mask, 0x20119u);
  EXPECT_EQ(reg.opens[2].path, kDriver);
  EXPECT_EQ(reg.opens[2].mask, 0x20119u);
  EXPECT_EQ(reg.openKeys, 0);
}

TEST_F(DriverRecord, CountComesFromTheFirstByteAsSigned) {
  struct Row {
    FakeRegistry::Bytes count;
    std::vector<std::string> present;
    const char* expected;  // value that wins, or nullptr
    std::vector<std::string> neverQueried;
  };
  const Row rows[] = {
      {{2, 0, 0, 0}, {"ii0001", "ii0002"}, "ii0001", {"ii0002"}},
      {{3, 0, 0, 0}, {"ii0002", "ii0003"}, "ii0002", {"ii0003"}},
      {{2, 0, 0, 0}, {"ii0005"}, nullptr, {"ii0005", "ii0003"}},
      {{0, 0, 0, 0}, {"ii0001"}, nullptr, {"ii0001"}},
      {{0x80, 0, 0, 0}, {"ii0001"}, nullptr, {"ii0001"}},
      {{0xFF, 0, 0, 0}, {"ii0001"}, nullptr, {"ii0001"}},
      {{0x01, 0x01, 0, 0}, {"ii0002"}, nullptr, {"ii0002"}},  // 257 reads as 1
      {{'1', '2', 0}, {"ii0049"}, "ii0049", {"ii0050"}},      // REG_SZ "12": 49
      {{}, {"ii0001"}, nullptr, {"ii0001"}},                  // empty value
  };
  for (const Row& row : rows) {
    FakeRegistry r;
    r.AddKey(kDriver);
    r.SetBytes(kDriver, "InstanceIndex", row.count);
    for (const auto& name : row.present) r.SetText(kDriver, name, InstancePathFor(name.substr(2)));
    core::RegistryHost::Key key = 0;
    core::OpenDriverKey(r, core::kToolMasks, core::kDriverKeyPath, &key);
    core::InstancePath found{};
    const bool ok = core::LookUpInstance(r, key, &found);
    const std::string label = "count bytes " + ::testing::PrintToString(row.count);
    if (row.expected) {
      ASSERT_TRUE(ok) << label;
      EXPECT_EQ(found.text, InstancePathFor(std::string(row.expected).substr(2))) << label;
    } else {
      EXPECT_FALSE(ok) << label;
    }
    for (const auto& name : row.neverQueried) EXPECT_FALSE(r.Queried(name)) << label << " " << name;
  }
}

TEST_F(DriverRecord, NoKeyOrNoCountFindsNothing) {
  EXPECT_FALSE(LookUp()) << "no InstanceIndex";
  reg.SetBytes(kDriver, "InstanceIndex", FakeRegistry::Bytes(257, 1));
  reg.SetText(kDriver, "ii0001", InstancePathFor("0000"));
  EXPECT_FALSE(LookUp()) << "InstanceIndex over 256 bytes does not fit";

  FakeRegistry none;
  core::InstancePath found{};
  EXPECT_FALSE(core::LookUpInstance(none, 0, &found));
}

// Every instance value is read into 256 bytes and never past what was returned.
TEST_F(DriverRecord, InstanceValuesAreBoundedByTheirArea) {
  const std::string good = InstancePathFor("0001");
  struct Row {
    FakeRegistry::Bytes first;  // ii0001's bytes; ii0002 holds `good`
    std::string expected;
  };
  const std::string n255(255, 'x');
  const Row rows[] = {
      {FakeRegistry::Bytes(300, 'a'), good},                  // too large
      {FakeRegistry::Bytes(257, 'a'), good},                  // too large
      {FakeRegistry::Bytes(256, 'a'), good},                  // fills the area, no terminator
      {FakeRegistry::Bytes(n255.begin(), n255.end()), n255},  // unterminated but fits
      {[&] {
         FakeRegistry::Bytes b(n255.begin(), n255.end());
         b.push_back(0);
         return b;
       }(),
       n255},
      {{'a', 0, 'b', 'c'}, "a"},  // text ends at the first zero
      {{}, ""},                   // empty still ends the search
      {{0}, ""},
  };
  for (const Row& row : rows) {
    FakeRegistry r;
    r.AddKey(kDriver);
    r.SetDword(kDriver, "InstanceIndex", 2);
    r.SetBytes(kDriver, "ii0001", row.first);
    r.SetText(kDriver, "ii0002", good);
    core::InstancePath found{};
    core::RegistryHost::Key key = 0;
    core::OpenDriverKey(r, core::kToolMasks, core::kDriverKeyPath, &key);
    ASSERT_TRUE(core::LookUpInstance(r, key, &found)) << row.first.size();
    EXPECT_EQ(found.text, row.expected) << row.first.size() << " bytes";
  }
}

TEST(InstancePathQuantities, DeviceNumberSettingsAndDeviceKey) {
  const std::string full = InstancePathFor("0003");
  ASSERT_EQ(full.size(), 109u);

  char number[5];
  core::DeviceNumber(full.c_str(), number);
  EXPECT_STREQ(number, "0003");
  core::DeviceNumber(full.substr(0, 98).c_str(), number);
  EXPECT_STREQ(number, "00");
  core::DeviceNumber(full.substr(0, 96).c_str(), number);
  EXPECT_STREQ(number, "");
  core::DeviceNumber(std::string(96, 'x').append("ABCDEFG").c_str(), number);
  EXPECT_STREQ(number, "ABCD") << "characters are taken as they are";

  char settings[256];
  ASSERT_TRUE(core::SettingsKeyPath(full.c_str(), settings));
  EXPECT_EQ(std::string(settings), kClass + "0003\\Settings");
  EXPECT_FALSE(core::SettingsKeyPath("\\Registry\\MACHINE\\", settings));
  EXPECT_FALSE(core::SettingsKeyPath("", settings));
  ASSERT_TRUE(core::SettingsKeyPath("\\Registry\\MACHINE\\X", settings));
  EXPECT_STREQ(settings, "X");
  EXPECT_FALSE(
      core::SettingsKeyPath(("\\Registry\\MACHINE\\" + std::string(256, 'x')).c_str(), settings))
      << "a path the area cannot hold is not cut to another key";

  char device[256];
  core::DeviceKeyPath(full.c_str(), device);
  EXPECT_EQ(std::string(device), kClass + "0003");
  core::DeviceKeyPath("SYSTEM\\Elsewhere\\Settings", device);
  EXPECT_STREQ(device, "SYSTEM\\Elsewhere\\Settings") << "no prefix: the whole path, uncut";
  core::DeviceKeyPath("junk\\Registry\\MACHINE\\A\\B", device);
  EXPECT_STREQ(device, "A\\B") << "no \\Settings: everything behind the prefix";
  core::DeviceKeyPath("\\registry\\machine\\A\\Settings", device);
  EXPECT_STREQ(device, "\\registry\\machine\\A\\Settings") << "the prefix is case-sensitive";
  const std::string huge = "\\Registry\\MACHINE\\" + std::string(400, 'k');
  core::DeviceKeyPath(huge.c_str(), device);
  EXPECT_EQ(std::string(device), std::string(255, 'k'));
}

class DescriptionLookup : public DriverRecord {
 protected:
  void StageDevice(const std::string& number, const std::string& desc) {
    reg.AddKey(kClass + number + "\\Settings");
    reg.SetText(kClass + number, "DriverDesc", desc);
  }
  int Run(std::string* text) {
    char description[256] = {};
    const int result = core::GetDriverDescription(reg, description);
    *text = description;
    return result;
  }
};

TEST_F(DescriptionLookup, ReadsDriverDescOfTheFirstExistingInstance) {
  StageDevice("0002", "Veltra QV7 Camera");
  reg.SetDword(kDriver, "InstanceIndex", 3);
  reg.SetText(kDriver, "ii0002", InstancePathFor("0002"));
  reg.SetText(kDriver, "ii0003", InstancePathFor("0009"));
  std::string text;
  EXPECT_EQ(Run(&text), 1);
  EXPECT_EQ(text, "Veltra QV7 Camera");
  EXPECT_FALSE(reg.Queried("ii0003"));
  EXPECT_EQ(reg.opens.back().mask, core::kKeyRead) << "device key without a view flag";
  EXPECT_EQ(reg.openKeys, 0);
}

TEST_F(DescriptionLookup, CountIsTheWhole32BitValue) {
  StageDevice("0000", "Cam");
  reg.SetDword(kDriver, "InstanceIndex", 257);
  reg.SetText(kDriver, "ii0257", InstancePathFor("0000"));
  std::string text;
  EXPECT_EQ(Run(&text), 1);
  EXPECT_EQ(text, "Cam");

  reg.SetDword(kDriver, "InstanceIndex", 0xFFFFFFFFu);
  reg.queries.clear();
  reg.RemoveValue(kDriver, "ii0257");
  EXPECT_EQ(Run(&text), 1);
  EXPECT_EQ(reg.queries.size(), 1u + core::kMaxDescriptionInstances)
      << "a corrupt count must not keep the lookup busy for hours";
}

TEST_F(DescriptionLookup, FailuresAndEmptyInstances) {
  std::string text;
  EXPECT_EQ(Run(&text), 1) << "no InstanceIndex: count 0, key opened";
  EXPECT_EQ(text, "");

  reg.SetDword(kDriver, "InstanceIndex", 2);
  reg.SetBytes(kDriver, "ii0001", {0});  // exists but empty: stops the loop
  StageDevice("0000", "Cam");
  reg.SetText(kDriver, "ii0002", InstancePathFor("0000"));
  EXPECT_EQ(Run(&text), 1);
  EXPECT_EQ(text, "");

  reg.SetText(kDriver, "ii0001", InstancePathFor("0007"));  // no such device key
  EXPECT_EQ(Run(&text), 0);
  EXPECT_EQ(reg.openKeys, 0);

  reg.SetText(kDriver, "ii0001", InstancePathFor("0000"));
  reg.SetBytes(kClass + "0000", "DriverDesc", FakeRegistry::Bytes(256, 'D'));
  EXPECT_EQ(Run(&text), 1);
  EXPECT_EQ(text, "") << "an unterminated description filling its area is not used";

  FakeRegistry empty;
  char description[256] = {};
  EXPECT_EQ(core::GetDriverDescription(empty, description), 0) << "no Driver key";
}

TEST(ValueBytes, CountsAndNames) {
  const unsigned char bytes[] = {0x05, 0x01, 0x00, 0x00};
  EXPECT_EQ(core::InstanceCountFromBytes(bytes, 4), 5);
  EXPECT_EQ(core::InstanceCountFromBytes(bytes, 0), 0);
  EXPECT_EQ(core::DescriptionCountFromBytes(bytes, 4), 261u);
  EXPECT_EQ(core::DescriptionCountFromBytes(bytes, 1), 5u);
  char name[16];
  core::InstanceValueName(7, name);
  EXPECT_STREQ(name, "ii0007");
  core::InstanceValueName(9999, name);
  EXPECT_STREQ(name, "ii9999");
}

}  // namespace
