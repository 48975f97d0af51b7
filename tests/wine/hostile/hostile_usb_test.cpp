// Hostile hardware identifiers against the real setup.exe: what a broken or
// malicious device (or its driver) could leave in HardwareID. Every row must
// end with 0 in time, run the payload it names (or none) and list exactly
// what it names in the diagnostic dialog.
#include "setup_fixture.h"

namespace setup_test {
namespace {

constexpr int kExit = 2, kEnum = 1006, kDevices = 1007;
// Any one step of a row (a "-s" run, the dialog's appearance, ENUM, the exit)
// takes seconds at most, also where Wine runs several times slower than
// wine64; the limit only ends a step that hangs, well within the suite's.
constexpr DWORD kStepMs = 30000;

// Filler identifiers after `first` until the multi-string exceeds `bytes`.
std::vector<std::string> Padded(const std::string& first, size_t bytes) {
  std::vector<std::string> ids = {first};
  size_t total = first.size() + 2;
  for (int n = 0; total <= bytes; ++n) {
    ids.push_back("USB\\VID_0000&PID_0000&MI_00\\" + std::to_string(n));
    total += ids.back().size() + 1;
  }
  return ids;
}

rig::Bytes Raw(const std::string& text) { return rig::Bytes(text.begin(), text.end()); }

struct Device {
  DWORD type;
  rig::Bytes hardwareId;
};
Device Multi(const std::vector<std::string>& ids) { return {REG_MULTI_SZ, rig::MultiString(ids)}; }

struct Row {
  const char* label;
  std::vector<Device> devices;  // staged as D1, D2, ... in this order
  const char* payload;          // resource id that ran, "" for none
  std::vector<std::string> listed;
};

std::vector<Row> Rows() {
  const std::string vendor = kModuleConfig.vendor;
  const std::string longId = ModuleB("&REV_0100&") + std::string(9000, '7');
  const std::string shortVendor = "USB\\VID_" + vendor;  // 12 characters
  const std::string shortProduct = Id(vendor.c_str(), kModuleConfig.a.codes[0]).substr(0, 20);
  return {
      // Beyond the first buffer: the grow path must deliver the whole list.
      {"multi-string over 8192 bytes, module first",
       {Multi(Padded(ModuleA(), 9000))},
       "137",
       {ModuleA()}},
      {"one identifier over 8192 characters", {Multi({longId})}, "135", {longId}},
      {"multi-string over 64 KB", {Multi(Padded(ModuleB(), 70000))}, "135", {ModuleB()}},
      // Nothing to split: skipped, and the scan goes on to the next device.
      {"HardwareID of no bytes", {{REG_MULTI_SZ, {}}, Multi({ModuleB()})}, "135", {ModuleB()}},
      {"HardwareID of one zero byte",
       {{REG_MULTI_SZ, {0}}, Multi({ModuleB()})},
       "135",
       {ModuleB()}},
      {"HardwareID of terminators only",
       {{REG_MULTI_SZ, {0, 0, 0, 0}}, Multi({ModuleB()})},
       "135",
       {ModuleB()}},
      // Only "USB\V", case-sensitive, makes an identifier a USB one.
      {"non-USB first identifier with a module's digits",
       {Multi({"HID\\VID_" + vendor + "&PID_" + kModuleConfig.a.codes[0], ModuleA()})},
       "",
       {}},
      {"lower-case \"usb\\vid_\" prefix", {Multi({Lower(ModuleA())})}, "", {}},
      {"USB root hub", {Multi({"USB\\ROOT_HUB20"})}, "", {}},
      // Shorter than 21 characters: listed, never read past its end.
      {"vendor only", {Multi({shortVendor})}, "", {shortVendor}},
      {"product cut to three digits", {Multi({shortProduct})}, "", {shortProduct}},
      {"just \"USB\\V\"", {Multi({"USB\\V"})}, "", {"USB\\V"}},
      // The reported size ends the list, whatever the stored type.
      {"unterminated REG_MULTI_SZ", {{REG_MULTI_SZ, Raw(ModuleA())}}, "137", {ModuleA()}},
      {"REG_SZ HardwareID", {{REG_SZ, Raw(ModuleB() + '\0')}}, "135", {ModuleB()}},
      {"unterminated REG_BINARY HardwareID", {{REG_BINARY, Raw(ModuleA())}}, "137", {ModuleA()}},
      // Only a multi-string may grow the buffer; anything larger is skipped.
      {"REG_SZ HardwareID over 8192 bytes", {{REG_SZ, Raw(longId + '\0')}}, "", {}},
      {"REG_BINARY HardwareID over 8192 bytes", {{REG_BINARY, Raw(longId)}}, "", {}},
  };
}

class HostileUsb : public SetupTest {
 protected:
  // The diagnostic list after ENUM, from a "-d" run that is then exited.
  std::vector<std::string> DiagnosticList() {
    rig::Process setup;
    if (!setup.Start(SetupExe(), "-d"))
      return {"<no start: error " + std::to_string(GetLastError()) + ">"};
    HWND dlg = rig::WaitForDialog(setup.id(), "Bindora", kStepMs);
    if (dlg == nullptr) return {"<no dialog>"};
    // Sent, not posted: the scan has finished when it returns. Never given up
    // as hung: the dialog shows itself from WM_INITDIALOG, and a thread that
    // has fetched no message for 5 s counts as hung, which on a slow host it
    // may not have done yet.
    DWORD_PTR result = 0;
    EXPECT_NE(SendMessageTimeoutA(dlg, WM_COMMAND, MAKEWPARAM(kEnum, BN_CLICKED),
                                  reinterpret_cast<LPARAM>(GetDlgItem(dlg, kEnum)), SMTO_NORMAL,
                                  kStepMs, &result),
              0)
        << "ENUM did not return";
    const auto items = rig::ListBoxItems(dlg, kDevices);
    rig::PostClick(dlg, kExit);
    EXPECT_EQ(setup.Wait(kStepMs), 0u);
    return items;
  }
};

TEST_F(HostileUsb, EveryIdentifierEndsCleanlyWithTheRightPayloadAndList) {
  for (const Row& row : Rows()) {
    SCOPED_TRACE(row.label);
    rig::RemoveUsbDevices();
    DeleteFileA(kLog);
    int n = 0;
    for (const Device& d : row.devices)
      rig::StageUsbDeviceRaw("D" + std::to_string(++n), d.type, d.hardwareId);

    EXPECT_EQ(rig::Run(SetupExe(), "-s", kStepMs), 0u);
    const auto records = Records();
    if (row.payload[0] == '\0') {
      EXPECT_TRUE(records.empty()) << "ran " << records[0].payload;
    } else {
      EXPECT_EQ(records.size(), 1u);
      if (!records.empty()) {
        EXPECT_EQ(records[0].payload, row.payload);
      }
    }
    EXPECT_TRUE(NewFolders().empty());

    const auto listed = DiagnosticList();
    EXPECT_EQ(listed.size(), row.listed.size());
    if (listed != row.listed)
      for (const std::string& item : listed) ADD_FAILURE() << "listed: " << item.substr(0, 80);
  }
}

}  // namespace
}  // namespace setup_test
