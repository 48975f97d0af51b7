// Hostile driver records against the real vantor and snappulse: every row is
// a record a broken or malicious driver could leave behind. Both programs must
// end with 0 in time, and do exactly what the row expects.
#include <gtest/gtest.h>

#include <functional>

#include "rig.h"

namespace {

const std::string kItem =
    "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\::{21EC2020-3AEA-1069-A2DD-08002B30309D}\\"
    "::{E211B736-43FD-11D1-9EFB-0000F8757FCD}\\devid:{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\";
const std::string kMyComputer = "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}:";

rig::Bytes Text(const std::string& s, bool terminated = true) {
  rig::Bytes b(s.begin(), s.end());
  if (terminated) b.push_back(0);
  return b;
}

void Index(DWORD type, const rig::Bytes& bytes) {
  rig::SetValue(HKEY_LOCAL_MACHINE, rig::kDriverKey, "InstanceIndex", type, bytes);
}
void Instance(const char* name, DWORD type, const rig::Bytes& bytes) {
  rig::SetValue(HKEY_LOCAL_MACHINE, rig::kDriverKey, name, type, bytes);
}

struct Row {
  const char* label;
  std::function<void()> stage;
  std::string browser;    // what explorer.exe must receive
  std::string pulsedKey;  // key whose SnapShotState ends at 0 after the pulse; "" = none
  // The host models the row can show: views as only a 32-bit process on
  // 64-bit Windows has them (for a 64-bit process Wine opens the 32-bit view
  // for a mask with both view flags), or 32-bit Windows, which has one view.
  unsigned hosts = rig::kAnyHost;
};

std::vector<Row> Rows() {
  const std::string path0 = rig::InstancePath("0000");
  const std::string settings0 = rig::SettingsKey("0000");
  return {
      {"InstanceIndex REG_SZ \"1\": count 49",
       [=] {
         Index(REG_SZ, Text("1"));
         Instance("ii0049", REG_SZ, Text(path0));
       },
       kItem + "0000:", settings0},
      {"InstanceIndex REG_BINARY of one byte",
       [=] {
         Index(REG_BINARY, {1});
         Instance("ii0001", REG_SZ, Text(path0));
       },
       kItem + "0000:", settings0},
      {"InstanceIndex of no bytes",
       [=] {
         Index(REG_BINARY, {});
         Instance("ii0001", REG_SZ, Text(path0));
       },
       kMyComputer, ""},
      {"InstanceIndex 257: only ii0001 is tried",
       [=] {
         Index(REG_DWORD, {1, 1, 0, 0});
         Instance("ii0002", REG_SZ, Text(path0));
       },
       kMyComputer, ""},
      {"InstanceIndex of 256 bytes",
       [=] {
         rig::Bytes b(256, 0);
         b[0] = 2;
         Index(REG_BINARY, b);
         Instance("ii0002", REG_SZ, Text(path0));
       },
       kItem + "0000:", settings0},
      {"InstanceIndex of 257 bytes",
       [=] {
         Index(REG_BINARY, rig::Bytes(257, 1));
         Instance("ii0001", REG_SZ, Text(path0));
       },
       kMyComputer, ""},
      {"InstanceIndex REG_QWORD",
       [=] {
         Index(REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0});
         Instance("ii0001", REG_SZ, Text(path0));
       },
       kItem + "0000:", settings0},
      {"ii0001 unterminated at 256 bytes, ii0002 valid",
       [=] {
         Index(REG_DWORD, {2, 0, 0, 0});
         Instance("ii0001", REG_BINARY, rig::Bytes(256, 'A'));
         Instance("ii0002", REG_SZ, Text(rig::InstancePath("0002")));
         rig::CreateKey(HKEY_LOCAL_MACHINE, rig::SettingsKey("0002"));
       },
       kItem + "0002:", rig::SettingsKey("0002")},
      {"ii0001 of 300 bytes skipped",
       [=] {
         Index(REG_DWORD, {2, 0, 0, 0});
         Instance("ii0001", REG_SZ, Text(std::string(299, 'B')));
         Instance("ii0002", REG_SZ, Text(path0));
       },
       kItem + "0000:", settings0},
      {"ii0001 of 255 bytes without terminator",
       [=] {
         Index(REG_DWORD, {1, 0, 0, 0});
         Instance("ii0001", REG_BINARY, Text(path0 + std::string(255 - path0.size(), 'z'), false));
       },
       kItem + "0000:", ""},  // the Settings path then names no key
      {"ii0001 of type REG_DWORD",
       [=] {
         Index(REG_DWORD, {1, 0, 0, 0});
         Instance("ii0001", REG_DWORD, {'A', 0, 0, 0});
       },
       kItem + ":", ""},
      {"ii0001 empty",
       [=] {
         Index(REG_DWORD, {1, 0, 0, 0});
         Instance("ii0001", REG_SZ, {});
       },
       kItem + ":", ""},
      {"ii0001 without the kernel prefix",
       [=] {
         Index(REG_DWORD, {1, 0, 0, 0});
         Instance("ii0001", REG_SZ, Text(settings0));
       },
       kItem + ":", ""},
      {"ii0001 without \\Settings: the pulse lands in the key it names",
       [=] {
         Index(REG_DWORD, {1, 0, 0, 0});
         Instance("ii0001", REG_SZ, Text("\\Registry\\MACHINE\\" + rig::DeviceKey("0000")));
       },
       kItem + "0000:", rig::DeviceKey("0000")},
      {"ii0001 naming a Settings key that does not exist",
       [=] {
         Index(REG_DWORD, {1, 0, 0, 0});
         Instance("ii0001", REG_SZ, Text(rig::InstancePath("0042")));
       },
       kItem + "0042:", ""},
      {"ii0001 of non-ASCII bytes",
       [=] {
         Index(REG_DWORD, {1, 0, 0, 0});
         rig::Bytes b(120, 0xE9);
         b.push_back(0);
         Instance("ii0001", REG_BINARY, b);
       },
       kItem + "\xE9\xE9\xE9\xE9:", ""},
      // The camera's 64-bit driver writes the 64-bit view; what a 32-bit
      // writer left in the 32-bit view is not the camera's.
      {"record only in the 32-bit view",
       [=] {
         rig::SetValue(HKEY_LOCAL_MACHINE, rig::kDriverKey32BitView, "InstanceIndex", REG_DWORD,
                       {1, 0, 0, 0});
         rig::SetValue(HKEY_LOCAL_MACHINE, rig::kDriverKey32BitView, "ii0001", REG_SZ, Text(path0));
       },
       kMyComputer, "", rig::kWow64},
      {"records in both views: the 64-bit one is the camera's",
       [=] {
         rig::StageCamera("0000");
         rig::SetValue(HKEY_LOCAL_MACHINE, rig::kDriverKey32BitView, "InstanceIndex", REG_DWORD,
                       {1, 0, 0, 0});
         rig::SetValue(HKEY_LOCAL_MACHINE, rig::kDriverKey32BitView, "ii0001", REG_SZ,
                       Text(rig::InstancePath("0002")));
         rig::CreateKey(HKEY_LOCAL_MACHINE, rig::SettingsKey("0002"));
       },
       kItem + "0000:", settings0, rig::kWow64},
      // 32-bit Windows has no Wow6432Node: the probe fails and the record is
      // read with KEY_READ. A key of that name left by some installer makes
      // the probe succeed, and the view flags then change nothing.
      {"no Wow6432Node: the record read with KEY_READ",
       [=] {
         ASSERT_FALSE(rig::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Wow6432Node"));
         rig::StageCamera("0000");
       },
       kItem + "0000:", settings0, rig::kWin32},
      {"a stray Wow6432Node key: the record read with the view flags",
       [=] {
         rig::CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Wow6432Node");
         rig::StageCamera("0000");
       },
       kItem + "0000:", settings0, rig::kWin32},
      {"SnapShotState of type REG_SZ becomes a DWORD 0",
       [=] {
         rig::StageCamera("0000");
         rig::SetValue(HKEY_LOCAL_MACHINE, settings0, "SnapShotState", REG_SZ, Text("2"));
       },
       kItem + "0000:", settings0},
      {"SnapShotState of 100 bytes becomes a DWORD 0",
       [=] {
         rig::StageCamera("0000");
         rig::SetValue(HKEY_LOCAL_MACHINE, settings0, "SnapShotState", REG_BINARY,
                       rig::Bytes(100, 2));
       },
       kItem + "0000:", settings0},
  };
}

TEST(HostileRecord, ToolsEndCleanlyAndDoWhatTheRecordSays) {
  for (const Row& row : Rows()) {
    if (!(row.hosts & rig::CurrentHost())) continue;
    SCOPED_TRACE(row.label);
    rig::RemoveCameras();
    rig::ClearExplorerCalls();
    rig::CreateKey(HKEY_LOCAL_MACHINE, rig::SettingsKey("0000"));
    row.stage();

    EXPECT_EQ(rig::Run(rig::ProgramPath("vantor.exe"), "", 10000), 0u);
    const auto calls = rig::WaitForExplorerCalls(1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].parameters, row.browser);

    const double start = rig::NowMs();
    EXPECT_EQ(rig::Run(rig::ProgramPath("snappulse.exe"), "", 10000), 0u);
    const double ms = rig::NowMs() - start;
    if (row.pulsedKey.empty()) {
      EXPECT_FALSE(
          rig::ReadValue(HKEY_LOCAL_MACHINE, rig::SettingsKey("0000"), "SnapShotState").present)
          << "nothing written";
    } else {
      const rig::Value v = rig::ReadValue(HKEY_LOCAL_MACHINE, row.pulsedKey, "SnapShotState");
      EXPECT_TRUE(v.present);
      EXPECT_EQ(v.type, DWORD(REG_DWORD));
      EXPECT_EQ(v.bytes, (rig::Bytes{0, 0, 0, 0}));
      EXPECT_GE(ms, 495.0);
    }
  }
}

}  // namespace
