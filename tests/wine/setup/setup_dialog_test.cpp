// setup.exe under Wine: its message boxes, the single-instance rule and the
// "-d" diagnostic dialog, driven as a user would.
#include "setup_fixture.h"

namespace setup_test {
namespace {

constexpr int kExtract = 1000, kExit = 2, kSize = 1001, kPath = 1002, kCmd = 1003, kRun = 1004,
              kOption = 1005, kEnum = 1006, kDevices = 1007;

// Size of a payload as carried in setup.exe.
DWORD PayloadSize(int id) {
  HMODULE image =
      LoadLibraryExA(rig::ProgramPath("setup.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (image == nullptr) return 0;
  HRSRC resource = FindResourceA(image, MAKEINTRESOURCEA(id), "FILE");
  const DWORD size = resource != nullptr ? SizeofResource(image, resource) : 0;
  FreeLibrary(image);
  return size;
}

class SetupMessages : public SetupTest {
 protected:
  // Starts setup with `args`, expects one message box with `text`, dismisses
  // it and expects exit status 0.
  void ExpectMessage(const std::string& args, const std::string& text) {
    rig::Process setup;
    ASSERT_TRUE(setup.Start(SetupExe(), args));
    HWND box = rig::WaitForMessageBox(setup.id());
    ASSERT_NE(box, nullptr) << "no message box";
    EXPECT_EQ(rig::MessageBoxText(box), text);
    EXPECT_EQ(rig::WindowText(box), "setup");
    EXPECT_EQ(rig::WaitForDialog(setup.id(), "Bindora", 0), nullptr) << "dialog must stay hidden";
    rig::DismissMessageBox(box);
    EXPECT_EQ(setup.Wait(10000), 0u);
  }
};

TEST_F(SetupMessages, NoModuleIsReportedOnlyInTheDefaultMode) {
  rig::StageUsbDevice("D1", {Id("0000", "0001")});
  ExpectMessage("", "No Korvel Module");
  EXPECT_EQ(rig::Run(SetupExe(), "-s"), 0u);
  EXPECT_TRUE(Records().empty());
}

TEST_F(SetupMessages, SecondInstanceEndsWithoutScanning) {
  rig::StageUsbDevice("D1", {ModuleA()});
  Hold();
  rig::Process first;
  ASSERT_TRUE(first.Start(SetupExe(), "-s"));
  ASSERT_TRUE(rig::WaitUntil([] { return Records().size() == 1; }));

  ExpectMessage("", "Application is already running");
  rig::Process silent;
  ASSERT_TRUE(silent.Start(SetupExe(), "-s"));
  // Deployment tools retry later on this one.
  EXPECT_EQ(silent.Wait(10000), static_cast<DWORD>(ERROR_INSTALL_ALREADY_RUNNING));
  EXPECT_FALSE(rig::HasVisibleWindow(silent.id()));
  EXPECT_EQ(Records().size(), 1u) << "a second launcher ran an installer";

  Release();
  EXPECT_EQ(first.Wait(10000), 0u);
  // The mutex went with the first launcher.
  EXPECT_EQ(rig::Run(SetupExe(), "-s"), 0u);
  EXPECT_EQ(Records().size(), 2u);
}

class SetupDiagnostic : public SetupTest {};

TEST_F(SetupDiagnostic, EnumListsUsbIdsExtractRunsSilentlyExitEnds) {
  // Key names give the enumeration order.
  rig::StageUsbDevice("D1", {Id("0000", "0001", "&REV_0001"), Id("0000", "0001")});
  rig::StageUsbDevice("D2", {LowerDigits(ModuleB())});
  rig::StageUsbDevice("D3", {Id("0000", "0002"), ModuleA()});  // second id: not A
  rig::StageUsbDevice("D4", {"HID\\VID_1234&PID_5678"});
  rig::StageUsbDevice("D5", {ModuleA()});

  rig::Process setup;
  ASSERT_TRUE(setup.Start(SetupExe(), "-d"));
  HWND dlg = rig::WaitForDialog(setup.id(), "Bindora");
  ASSERT_NE(dlg, nullptr);
  RECT rect{};
  GetWindowRect(dlg, &rect);
  EXPECT_EQ(rect.left, 0);
  EXPECT_EQ(rect.top, 0);
  EXPECT_EQ(rect.right - rect.left, 600);
  EXPECT_EQ(rect.bottom - rect.top, 500);
  EXPECT_TRUE(GetWindowLongA(dlg, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_EQ(rig::ItemText(dlg, kCmd), "\"" + SetupExe() + "\" -d");
  EXPECT_EQ(rig::ItemText(dlg, kOption), "");
  EXPECT_TRUE(rig::ListBoxItems(dlg, kDevices).empty()) << "nothing runs by itself";
  EXPECT_TRUE(Records().empty());

  const std::vector<std::string> expected = {Id("0000", "0001", "&REV_0001"),
                                             LowerDigits(ModuleB()), Id("0000", "0002"), ModuleA()};
  rig::PostClick(dlg, kEnum);
  EXPECT_TRUE(rig::WaitUntil([&] { return rig::ListBoxItems(dlg, kDevices).size() >= 4; }));
  EXPECT_EQ(rig::ListBoxItems(dlg, kDevices), expected);
  rig::PostClick(dlg, kEnum);  // refilled, not appended
  Sleep(300);
  EXPECT_EQ(rig::ListBoxItems(dlg, kDevices), expected);

  rig::PostClick(dlg, kExtract);
  ASSERT_TRUE(rig::WaitUntil([] { return Records().size() == 1; }));
  EXPECT_TRUE(rig::WaitUntil([&] { return !rig::ItemText(dlg, kRun).empty(); }));
  const Record r = Records()[0];
  EXPECT_EQ(r.payload, "135");
  ExpectOwnFolder(r, " -s -noreboot");
  EXPECT_EQ(rig::ItemText(dlg, kSize), std::to_string(PayloadSize(135)));
  EXPECT_NE(PayloadSize(135), 0u);
  // The file written and run, in the installer's own folder.
  EXPECT_EQ(rig::ItemText(dlg, kPath), FolderOf(r) + "\\Setup.exe");
  EXPECT_EQ(rig::ItemText(dlg, kRun), FolderOf(r) + "\\Setup.exe");
  EXPECT_TRUE(rig::WaitUntil([&] { return NewFolders().empty(); }));
  EXPECT_EQ(rig::WaitForMessageBox(setup.id(), 300), nullptr);

  rig::PostClick(dlg, kExit);
  EXPECT_EQ(setup.Wait(10000), 0u);
}

TEST_F(SetupDiagnostic, NoModuleShowsNoMessage) {
  rig::Process setup;
  ASSERT_TRUE(setup.Start(SetupExe(), "-D"));
  HWND dlg = rig::WaitForDialog(setup.id(), "Bindora");
  ASSERT_NE(dlg, nullptr);
  rig::PostClick(dlg, kExtract);
  EXPECT_EQ(rig::WaitForMessageBox(setup.id(), 1000), nullptr);
  EXPECT_TRUE(Records().empty());
  rig::PostClick(dlg, kExit);
  EXPECT_EQ(setup.Wait(10000), 0u);
}

}  // namespace
}  // namespace setup_test
