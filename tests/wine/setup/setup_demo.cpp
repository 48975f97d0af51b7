// setup's part of the demo, and the scene for the diagnostic screenshot.
//   setup_demo.exe        runs "setup -s" on a simulated camera module and
//                         tells what the installer received and the exit
//                         status setup passed on, then lists the modules
//                         "setup -d" finds
//   setup_demo.exe shot   opens "setup -d", presses ENUM and holds the
//                         dialog until C:\rig\shot.done exists
#include <cstdio>
#include <cstring>

#include "dialog_driver.h"
#include "rig.h"
#include "setup_modules.h"
#include "usb.h"

namespace {

constexpr char kLog[] = "C:\\rig\\installer.log";

std::string ModuleId(const char* product) {
  return std::string("USB\\VID_") + kModuleConfig.vendor + "&PID_" + product;
}

void StageDevices() {
  rig::StageUsbDevice("VID_046D&PID_C52B",
                      {"USB\\VID_046D&PID_C52B&REV_1201", "USB\\VID_046D&PID_C52B"});
  rig::StageUsbDevice("VID_1D6B&PID_0A01", {ModuleId(kModuleConfig.a.codes[0]) + "&REV_0100",
                                            ModuleId(kModuleConfig.a.codes[0])});
  rig::StageUsbDevice("VID_8087&PID_0024", {"USB\\VID_8087&PID_0024&REV_0000"});
}

constexpr int kEnumButton = 1006;
constexpr int kModuleList = 1007;

// "setup -d" with ENUM pressed, once the list holds the staged modules.
HWND OpenDiagnostic(rig::Process* setup) {
  if (!setup->Start(rig::ProgramPath("setup.exe"), "-d")) return nullptr;
  HWND dlg = rig::WaitForDialog(setup->id(), "Bindora", 30000);
  if (dlg == nullptr) return nullptr;
  rig::PostClick(dlg, kEnumButton);
  rig::WaitUntil([&] { return rig::ListBoxItems(dlg, kModuleList).size() >= 3; });
  return dlg;
}

int Demo() {
  std::printf("\n=== setup: install the driver for the attached camera module\n");
  std::printf("(setup.exe from %s)\n", rig::ProgramPath("").c_str());
  SetEnvironmentVariableA("BINDORA_INSTALLER_LOG", kLog);
  DeleteFileA(kLog);
  StageDevices();
  std::printf("USB camera module %s attached (table A); running setup.exe -s ...\n",
              ModuleId(kModuleConfig.a.codes[0]).c_str());
  std::printf("(the sample installer ends with 3010: installed, restart required)\n");
  std::fflush(stdout);
  SetEnvironmentVariableA("BINDORA_INSTALLER_EXIT", "3010");
  const DWORD code = rig::Run(rig::ProgramPath("setup.exe"), "-s");
  SetEnvironmentVariableA("BINDORA_INSTALLER_EXIT", nullptr);
  std::printf("  setup.exe -s exit status: %lu%s\n", static_cast<unsigned long>(code),
              code == 3010 ? " (the installer's, passed on to the caller)" : "");
  std::string record, folder;
  if (rig::ReadFileText(kLog, &record)) {
    std::printf("  the sample installer recorded:\n");
    size_t at = 0;
    while (at < record.size()) {
      size_t end = record.find("\r\n", at);
      if (end == std::string::npos) end = record.size();
      const std::string line = record.substr(at, end - at);
      if (end > at) std::printf("    %s\n", line.c_str());
      if (line.compare(0, 4, "cwd=") == 0) folder = line.substr(4);
      at = end + 2;
    }
  } else {
    std::printf("  the installer did not run\n");
  }
  if (!folder.empty())
    std::printf(
        "  its folder %s afterwards: %s\n", folder.c_str(),
        GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES ? "still there" : "gone");

  std::printf("\nsetup.exe -d, ENUM pressed: the diagnostic list\n");
  std::fflush(stdout);
  rig::Process setup;
  if (HWND dlg = OpenDiagnostic(&setup)) {
    for (const std::string& item : rig::ListBoxItems(dlg, kModuleList))
      std::printf("    %s\n", item.c_str());
    rig::PostClick(dlg, IDCANCEL);
    std::printf("  dialog closed, setup.exe exit status: %lu\n",
                static_cast<unsigned long>(setup.Wait(10000)));
  } else {
    std::printf("  the dialog did not show\n");
  }
  rig::RemoveUsbDevices();
  return 0;
}

int Shot() {
  StageDevices();
  rig::Process setup;
  HWND dlg = OpenDiagnostic(&setup);
  if (dlg == nullptr) return 1;
  Sleep(500);
  CloseHandle(
      CreateFileA("C:\\rig\\shot.ready", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  rig::WaitUntil([] { return rig::FileExists("C:\\rig\\shot.done"); }, 60000);
  rig::PostClick(dlg, IDCANCEL);
  setup.Wait(10000);
  rig::RemoveUsbDevices();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return argc > 1 && std::strcmp(argv[1], "shot") == 0 ? Shot() : Demo();
}
