#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/hardware_id.h"

namespace {

// Vendor 1D6B; A: 0001, 00AB; B: 0101.
core::ModuleConfig Config() {
  core::ModuleConfig config{};
  std::strcpy(config.vendor, "1D6B");
  std::strcpy(config.a.codes[0], "0001");
  std::strcpy(config.a.codes[3], "00AB");  // after empty slots
  std::strcpy(config.b.codes[0], "0101");
  return config;
}

TEST(HardwareId, MultiStringIsEndedAndSplitInsideItsBuffer) {
  struct Row {
    std::string bytes;  // what the platform put into the buffer
    std::size_t reported;
    std::vector<std::string> strings;
  } const rows[] = {
      {std::string("USB\\VID_1\0USB\\X\0\0", 17), 17, {"USB\\VID_1", "USB\\X"}},
      {std::string("\0\0", 2), 2, {}},                   // empty list
      {std::string("", 0), 0, {}},                       // nothing reported
      {std::string("ABC\0DEF", 7), 7, {"ABC", "DEF"}},   // no terminators at all
      {std::string("ABC\0\0DEF\0\0", 10), 10, {"ABC"}},  // stops at the first empty one
      // a size beyond the buffer is clamped to it
      {std::string(10, 'x'), 100, {"xxxxxxxxxx"}},
  };
  for (const Row& row : rows) {
    const std::size_t capacity = row.bytes.size() + core::kPropertySpare;
    // Exactly sized heap buffer, so ASan reports any read past its end.
    std::vector<char> buffer(row.bytes.begin(), row.bytes.end());
    buffer.resize(capacity, 'Z');
    core::TerminateMultiString(buffer.data(), capacity, row.reported);
    const std::size_t count = core::CountMultiString(buffer.data(), capacity);
    ASSERT_EQ(count, row.strings.size()) << row.bytes;
    std::vector<const char*> list(count + 2, reinterpret_cast<const char*>(1));
    core::SplitMultiString(buffer.data(), capacity, list.data(), count);
    EXPECT_EQ(list[0], buffer.data());
    for (std::size_t i = 0; i < count; ++i) EXPECT_EQ(list[1 + i], row.strings[i]);
    EXPECT_EQ(list[count + 1], nullptr);
  }
}

TEST(HardwareId, CountNeverLeavesAnUnendedBuffer) {
  const char bytes[4] = {'A', 'B', 'C', 'D'};
  EXPECT_EQ(core::CountMultiString(bytes, sizeof bytes), 0u);
  const char one[5] = {'A', '\0', 'C', 'D', 'E'};
  EXPECT_EQ(core::CountMultiString(one, sizeof one), 1u);
}

TEST(HardwareId, IdentifierTests) {
  const core::ModuleConfig config = Config();
  struct Row {
    const char* id;
    bool usb, vendor, a, b;
  } const rows[] = {
      {"USB\\VID_1D6B&PID_0001&REV_0100", true, true, true, false},
      {"USB\\VID_1d6b&PID_00ab", true, true, true, false},  // lower-case digits
      {"USB\\VID_1D6B&PID_0101", true, true, false, true},
      {"USB\\VID_1D6B&PID_0102", true, true, false, false},
      {"USB\\VID_1D6C&PID_0001", true, false, true, false},  // tables look at the product only
      {"USB\\VID_1D6B&PID_000", true, true, false, false},   // 20 characters
      {"USB\\VID_1D6", true, false, false, false},
      {"USB\\V", true, false, false, false},
      {"USB\\", false, false, false, false},
      {"usb\\VID_1D6B&PID_0001", false, true, true, false},
      {"HID\\VID_1D6B&PID_0001", false, true, true, false},
      {"", false, false, false, false},
  };
  for (const Row& row : rows) {
    // Copy into an exact heap block so a read past the terminator is caught.
    std::vector<char> id(row.id, row.id + std::strlen(row.id) + 1);
    EXPECT_EQ(core::IsUsbIdentifier(id.data()), row.usb) << row.id;
    EXPECT_EQ(core::VendorMatches(id.data(), config.vendor), row.vendor) << row.id;
    EXPECT_EQ(core::TableMatches(id.data(), config.a), row.a) << row.id;
    EXPECT_EQ(core::TableMatches(id.data(), config.b), row.b) << row.id;
  }
  EXPECT_FALSE(core::IsUsbIdentifier(nullptr));
}

class FakeDevices : public core::DeviceSource {
 public:
  bool opens = true;
  std::vector<const char*> firsts;  // null: property unreadable
  bool closed = false;

  bool Open() override { return opens; }
  bool Device(std::uint32_t index, const char** first) override {
    if (index >= firsts.size()) return false;
    *first = firsts[index];
    return true;
  }
  void Close() override { closed = true; }
};

class FakeList : public core::IdentifierSink {
 public:
  std::vector<std::string> items{"stale"};
  void Clear() override { items.clear(); }
  void Add(const char* id) override { items.push_back(id); }
};

TEST(HardwareId, ScanOrder) {
  const char* kA = "USB\\VID_1D6B&PID_0001";
  const char* kA2 = "USB\\VID_1D6B&PID_00AB";
  const char* kB = "USB\\VID_1D6B&PID_0101";
  const char* kOther = "USB\\VID_0000&PID_0001";
  const char* kHid = "HID\\VID_1D6B&PID_0001";
  struct Row {
    const char* name;
    std::vector<const char*> firsts;
    bool a, b;
    std::vector<std::string> listed;
  } const rows[] = {
      {"none", {kHid, nullptr, kOther}, false, false, {kOther}},
      {"A", {kA}, true, false, {kA}},
      {"B then A sets both", {kB, kOther, kA}, true, true, {kB, kOther, kA}},
      {"A then B: B is not tested", {kA, kB}, true, false, {kA, kB}},
      {"A twice, all listed", {kA, kA2, kHid, kOther}, true, false, {kA, kA2, kOther}},
      {"B twice", {kB, kB}, false, true, {kB, kB}},
      {"unreadable devices skipped", {nullptr, kB, nullptr}, false, true, {kB}},
  };
  for (const Row& row : rows) {
    FakeDevices devices;
    devices.firsts = row.firsts;
    FakeList list;
    core::ModuleFlags flags{true, true};  // a scan starts from clear results
    core::ScanModules(devices, Config(), list, &flags);
    EXPECT_EQ(flags.a, row.a) << row.name;
    EXPECT_EQ(flags.b, row.b) << row.name;
    EXPECT_EQ(list.items, row.listed) << row.name;
    EXPECT_TRUE(devices.closed) << row.name;
  }
}

TEST(HardwareId, UnopenableDeviceSetKeepsEarlierResults) {
  FakeDevices devices;
  devices.opens = false;
  FakeList list;
  core::ModuleFlags flags{false, true};
  core::ScanModules(devices, Config(), list, &flags);
  EXPECT_FALSE(flags.a);
  EXPECT_TRUE(flags.b);
  EXPECT_TRUE(list.items.empty());
  EXPECT_FALSE(devices.closed);
}

}  // namespace
