// setup.exe under Wine, automatic modes: which installer is written, how it
// is started, that it is waited for and deleted.
#include "setup_fixture.h"

namespace setup_test {
namespace {

class SetupRun : public SetupTest {};

TEST_F(SetupRun, DefaultModeRunsTableAInstallerWaitsAndDeletesIt) {
  rig::StageUsbDevice("VID_1D6B&PID_0A01", {ModuleA(), ModuleA("")});
  Hold();
  rig::Process setup;
  ASSERT_TRUE(setup.Start(SetupExe()));
  ASSERT_TRUE(rig::WaitUntil([] { return Records().size() == 1; }));
  EXPECT_TRUE(rig::FileExists(Installed()));
  EXPECT_EQ(setup.Wait(400), STILL_ACTIVE) << "setup must wait for the installer";
  EXPECT_FALSE(rig::HasVisibleWindow(setup.id()));
  Release();
  EXPECT_EQ(setup.Wait(10000), 0u);
  EXPECT_FALSE(rig::FileExists(Installed()));

  const Record r = Records()[0];
  EXPECT_EQ(r.payload, "137");
  EXPECT_EQ(r.cmdline, "\"" + Installed() + "\"");
  EXPECT_EQ(Canonical(r.self), Canonical(Installed()));
  EXPECT_EQ(Canonical(r.cwd), Canonical(Temp()));
}

TEST_F(SetupRun, OptionIsTheLastTwoCharacters) {
  rig::StageUsbDevice("VID_1D6B&PID_0A01", {ModuleA()});
  struct Row {
    const char* args;
    const char* options;  // after the quoted path
  } const rows[] = {
      {"-s", " -s -noreboot"},
      {"-S", " -s -noreboot"},
      {"x-s", " -s -noreboot"},
      {"-s ", ""},  // a trailing blank: no option, default mode
      {"-s x", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string("args '") + row.args + "'");
    DeleteFileA(kLog);
    // No message box can be pending in either case: a box would block past the limit.
    EXPECT_EQ(rig::Run(SetupExe(), row.args), 0u);
    const auto records = Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].cmdline, "\"" + Installed() + "\"" + row.options);
    EXPECT_FALSE(rig::FileExists(Installed()));
  }
}

TEST_F(SetupRun, FamilyChosenByTheFirstIdentifierInEnumerationOrder) {
  const std::string vendor = kModuleConfig.vendor;
  struct Device {
    const char* key;
    std::vector<std::string> ids;
  };
  struct Row {
    const char* label;
    std::vector<Device> devices;  // key names in enumeration order
    const char* payload;          // "" when nothing runs
  } const rows[] = {
      {"table A", {{"D1", {ModuleA()}}}, "137"},
      {"table B", {{"D1", {ModuleB()}}}, "135"},
      {"B first, A later: 135 wins", {{"D1", {ModuleB()}}, {"D2", {ModuleA()}}}, "135"},
      {"A first: B is not tested after it", {{"D1", {ModuleA()}}, {"D2", {ModuleB()}}}, "137"},
      {"lower-case vendor and product digits", {{"D1", {LowerDigits(ModuleB())}}}, "135"},
      {"module id not the first identifier", {{"D1", {Id("0000", "0000"), ModuleA()}}}, ""},
      {"right vendor, unknown product", {{"D1", {Id(vendor.c_str(), "FFFF")}}}, ""},
      {"other vendor, known product", {{"D1", {Id("0001", kModuleConfig.a.codes[0])}}}, ""},
      {"identifier cut before the last product digit", {{"D1", {ModuleA("").substr(0, 20)}}}, ""},
      {"no USB device of ours", {}, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    rig::RemoveUsbDevices();
    DeleteFileA(kLog);
    for (const Device& d : row.devices) rig::StageUsbDevice(d.key, d.ids);
    EXPECT_EQ(rig::Run(SetupExe(), "-s"), 0u);
    const auto records = Records();
    if (row.payload[0] == '\0') {
      EXPECT_TRUE(records.empty());
    } else {
      ASSERT_EQ(records.size(), 1u);
      EXPECT_EQ(records[0].payload, row.payload);
    }
    EXPECT_FALSE(rig::FileExists(Installed()));
  }
}

TEST_F(SetupRun, MalformedHardwareIdsAreSkipped) {
  // An unterminated multi-string and an empty list before a real module.
  rig::StageUsbDeviceRaw("D1", REG_MULTI_SZ, rig::Bytes{'U', 'S', 'B', '\\', 'V'});
  rig::StageUsbDeviceRaw("D2", REG_MULTI_SZ, rig::Bytes{0, 0});
  rig::StageUsbDeviceRaw("D3", REG_MULTI_SZ, rig::Bytes(9000, 'U'));
  rig::StageUsbDevice("D4", {ModuleB()});
  EXPECT_EQ(rig::Run(SetupExe(), "-s"), 0u);
  const auto records = Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].payload, "135");
}

class SetupFiles : public SetupTest {};

TEST_F(SetupFiles, ExistingSetupExeIsOverwrittenRunAndDeleted) {
  rig::StageUsbDevice("D1", {ModuleA()});
  {
    HANDLE f =
        CreateFileA(Installed().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    WriteFile(f, "stale", 5, &n, nullptr);
    CloseHandle(f);
  }
  EXPECT_EQ(rig::Run(SetupExe(), "-s"), 0u);
  ASSERT_EQ(Records().size(), 1u);
  EXPECT_FALSE(rig::FileExists(Installed()));
}

TEST_F(SetupFiles, LockedSetupExeGivesCanNotCreateFileAndRunsNothing) {
  rig::StageUsbDevice("D1", {ModuleA()});
  HANDLE lock =
      CreateFileA(Installed().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);

  rig::Process setup;
  ASSERT_TRUE(setup.Start(SetupExe()));
  HWND box = rig::WaitForMessageBox(setup.id());
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(rig::MessageBoxText(box), "Can not create file!");
  EXPECT_EQ(rig::WindowText(box), "setup");
  rig::DismissMessageBox(box);
  EXPECT_EQ(setup.Wait(10000), 0u);

  EXPECT_EQ(rig::Run(SetupExe(), "-s"), 0u);  // silently the same
  EXPECT_TRUE(Records().empty());
  CloseHandle(lock);
  EXPECT_TRUE(rig::FileExists(Installed())) << "not ours to delete";
  DeleteFileA(Installed().c_str());
}

TEST_F(SetupFiles, TempFolderWithBlanksStartsTheWrittenFile) {
  rig::StageUsbDevice("D1", {ModuleA()});
  const std::string folder = "C:\\Documents and Settings\\tester\\Local Settings\\Temp";
  CreateDirectoryA("C:\\Documents and Settings", nullptr);
  CreateDirectoryA("C:\\Documents and Settings\\tester", nullptr);
  CreateDirectoryA("C:\\Documents and Settings\\tester\\Local Settings", nullptr);
  CreateDirectoryA(folder.c_str(), nullptr);
  // An unquoted command line would start this one instead.
  ASSERT_TRUE(
      CopyFileA(rig::ProgramPath("..\\setup\\sample_installer\\sample_installer_135.exe").c_str(),
                "C:\\Documents.exe", FALSE));
  SetEnvironmentVariableA("TMP", (folder + "\\").c_str());
  SetEnvironmentVariableA("TEMP", (folder + "\\").c_str());
  const std::string installed = folder + "\\\\Setup.exe";

  EXPECT_EQ(rig::Run(SetupExe(), "-s"), 0u);
  SetEnvironmentVariableA("TMP", Temp().c_str());
  SetEnvironmentVariableA("TEMP", Temp().c_str());
  DeleteFileA("C:\\Documents.exe");

  const auto records = Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].payload, "137");
  EXPECT_EQ(records[0].cmdline, "\"" + installed + "\" -s -noreboot");
  EXPECT_EQ(Canonical(records[0].self), Canonical(installed));
  EXPECT_EQ(Canonical(records[0].cwd), Canonical(folder));
  EXPECT_FALSE(rig::FileExists(installed));
}

}  // namespace
}  // namespace setup_test

namespace setup_test {
namespace {

// Run by full-disk.sh with a temp folder on a file system too small for the
// payload: the short write is reported, the partial file goes, nothing runs.
class SetupFullDisk : public SetupTest {};

TEST_F(SetupFullDisk, ShortWriteIsReportedAndLeavesNothingBehind) {
  char folder[MAX_PATH];
  if (GetEnvironmentVariableA("BINDORA_FULL_TEMP", folder, MAX_PATH) == 0)
    GTEST_SKIP() << "needs full-disk.sh";
  rig::StageUsbDevice("D1", {ModuleA()});
  SetEnvironmentVariableA("TMP", folder);
  SetEnvironmentVariableA("TEMP", folder);
  const std::string installed = std::string(folder) + "\\Setup.exe";

  rig::Process setup;
  ASSERT_TRUE(setup.Start(SetupExe()));
  HWND box = rig::WaitForMessageBox(setup.id());
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(rig::MessageBoxText(box), "Can not write file!");
  rig::DismissMessageBox(box);
  EXPECT_EQ(setup.Wait(10000), 0u);
  EXPECT_EQ(rig::Run(SetupExe(), "-s"), 0u);  // silently the same

  SetEnvironmentVariableA("TMP", Temp().c_str());
  SetEnvironmentVariableA("TEMP", Temp().c_str());
  EXPECT_TRUE(Records().empty());
  EXPECT_FALSE(rig::FileExists(installed));
}

}  // namespace
}  // namespace setup_test

namespace setup_test {
namespace {

// From the moment Setup.exe appears until the installer is started (a pause
// of 100 ms lies between), nobody may write, replace or delete it.
TEST_F(SetupFiles, WrittenFileCannotBeReplacedBeforeItRuns) {
  rig::StageUsbDevice("D1", {ModuleA()});
  Hold();
  rig::Process setup;
  ASSERT_TRUE(setup.Start(SetupExe(), "-s"));

  const std::string path = Installed();
  const double limit = rig::NowMs() + 10000;
  while (!rig::FileExists(path) && rig::NowMs() < limit) {
  }
  const double seen = rig::NowMs();
  int attempts = 0;
  for (double now = seen; now < seen + 40; now = rig::NowMs()) {
    const win::unique_handle writer(CreateFileA(
        path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writer) << "opened for writing " << now - seen << " ms after it appeared";
    EXPECT_FALSE(DeleteFileA(path.c_str())) << "deleted " << now - seen << " ms after it appeared";
    ++attempts;
    Sleep(2);
  }
  EXPECT_GT(attempts, 0);
  ASSERT_TRUE(rig::WaitUntil([] { return Records().size() == 1; }));
  EXPECT_EQ(Records()[0].payload, "137") << "the file written is the file run";
  Release();
  EXPECT_EQ(setup.Wait(10000), 0u);
  EXPECT_FALSE(rig::FileExists(path));
}

}  // namespace
}  // namespace setup_test
