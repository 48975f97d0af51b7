// vantor under Wine: what the file browser receives for each driver record.
#include <gtest/gtest.h>

#include "rig.h"

namespace {

const std::string kCameraItemPrefix =
    "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\::{21EC2020-3AEA-1069-A2DD-08002B30309D}\\"
    "::{E211B736-43FD-11D1-9EFB-0000F8757FCD}\\devid:{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\";
const std::string kMyComputer = "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}:";

class Vantor : public ::testing::Test {
 protected:
  void SetUp() override {
    rig::RemoveCameras();
    rig::ClearExplorerCalls();
  }

  // Runs vantor and returns the one call the browser received.
  rig::ExplorerCall RunVantor(const std::string& args = "") {
    EXPECT_EQ(rig::Run(rig::ProgramPath("vantor.exe"), args), 0u);
    const auto calls = rig::WaitForExplorerCalls(1);
    Sleep(200);  // a second call would show up by now
    const auto all = rig::ExplorerCalls();
    EXPECT_EQ(all.size(), 1u);
    return all.empty() ? rig::ExplorerCall{} : all[0];
  }
};

TEST_F(Vantor, OpensTheCameraItemInTheWindowsFolder) {
  rig::StageCamera("0000");
  const rig::ExplorerCall call = RunVantor();
  EXPECT_EQ(call.parameters, kCameraItemPrefix + "0000:");
  EXPECT_EQ(call.parameters.size(), 173u);
  EXPECT_TRUE(_stricmp(call.directory.c_str(), "c:\\windows") == 0 ||
              _stricmp(call.directory.c_str(), "c:\\windows\\") == 0)
      << call.directory;
}

TEST_F(Vantor, FallsBackToMyComputerWithoutAReadableInstance) {
  struct Row {
    const char* label;
    void (*stage)();
  };
  const Row rows[] = {
      {"no Driver key", [] {}},
      {"every instance value missing",
       [] { rig::SetDword(HKEY_LOCAL_MACHINE, rig::kDriverKey, "InstanceIndex", 3); }},
      {"count 0",
       [] {
         rig::StageCamera("0000");
         rig::SetDword(HKEY_LOCAL_MACHINE, rig::kDriverKey, "InstanceIndex", 0);
       }},
      {"count byte 0x80",
       [] {
         rig::StageCamera("0000");
         rig::SetDword(HKEY_LOCAL_MACHINE, rig::kDriverKey, "InstanceIndex", 0x80);
       }},
      {"value above the count only",
       [] {
         rig::SetDword(HKEY_LOCAL_MACHINE, rig::kDriverKey, "InstanceIndex", 1);
         rig::SetString(HKEY_LOCAL_MACHINE, rig::kDriverKey, "ii0002", rig::InstancePath("0002"));
       }},
      {"unterminated 256-byte value",
       [] {
         rig::SetDword(HKEY_LOCAL_MACHINE, rig::kDriverKey, "InstanceIndex", 1);
         rig::SetValue(HKEY_LOCAL_MACHINE, rig::kDriverKey, "ii0001", REG_BINARY,
                       rig::Bytes(256, '7'));
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    rig::RemoveCameras();
    rig::ClearExplorerCalls();
    row.stage();
    EXPECT_EQ(RunVantor().parameters, kMyComputer);
  }
}

TEST_F(Vantor, DeviceNumberIsTakenAsItStands) {
  struct Row {
    std::string instancePath;
    std::string item;
  };
  const std::string full = rig::InstancePath("0000");
  const Row rows[] = {
      {full.substr(0, 98), "00:"},           // path ends inside the number
      {full.substr(0, 96), ":"},             // path ends before it
      {rig::InstancePath("AB_9"), "AB_9:"},  // not digits
      {rig::InstancePath("0003"), "0003:"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.instancePath);
    rig::RemoveCameras();
    rig::ClearExplorerCalls();
    rig::SetDword(HKEY_LOCAL_MACHINE, rig::kDriverKey, "InstanceIndex", 2);
    rig::SetValue(HKEY_LOCAL_MACHINE, rig::kDriverKey, "ii0001", REG_BINARY, rig::Bytes(300, 'x'));
    rig::SetString(HKEY_LOCAL_MACHINE, rig::kDriverKey, "ii0002", row.instancePath);
    EXPECT_EQ(RunVantor().parameters, kCameraItemPrefix + row.item);
  }
}

TEST_F(Vantor, IgnoresItsCommandLine) {
  rig::StageCamera("0001");
  EXPECT_EQ(RunVantor("-s -d /x \"quoted arg\"").parameters, kCameraItemPrefix + "0001:");
}

}  // namespace
