#include "demo.h"
#include "rig.h"

namespace demo {

void DemoVantor() {
  Heading("vantor: open the camera in the shell");
  rig::RemoveCameras();
  rig::ClearExplorerCalls();
  DEMO_SAY("No camera registered; running vantor.exe ...");
  rig::Run(rig::ProgramPath("vantor.exe"));
  auto calls = rig::WaitForExplorerCalls(1);
  for (const auto& c : calls)
    DEMO_SAY("  explorer.exe received: %s\n  working directory:      %s", c.parameters.c_str(),
             c.directory.c_str());

  rig::StageCamera("0000", "Veltra QV7 USB2.0 Camera");
  rig::ClearExplorerCalls();
  DEMO_SAY("Camera registered as ii0001 = %s; running vantor.exe ...",
           rig::InstancePath("0000").c_str());
  rig::Run(rig::ProgramPath("vantor.exe"));
  calls = rig::WaitForExplorerCalls(1);
  for (const auto& c : calls)
    DEMO_SAY("  explorer.exe received: %s (%zu characters)\n  working directory:      %s",
             c.parameters.c_str(), c.parameters.size(), c.directory.c_str());
}

void DemoSnapPulse() {
  Heading("snappulse: one snapshot signal");
  rig::StageCamera("0000", "Veltra QV7 USB2.0 Camera");
  const std::string settings = rig::SettingsKey("0000");
  rig::ValueWatcher watcher(HKEY_LOCAL_MACHINE, settings, "SnapShotState");
  watcher.Start();
  DEMO_SAY("Watching HKLM\\%s\\SnapShotState; running snappulse.exe ...", settings.c_str());
  rig::Run(rig::ProgramPath("snappulse.exe"));
  Sleep(100);
  for (const auto& s : watcher.Stop()) {
    if (s.value.present)
      DEMO_SAY("  t = %7.1f ms  SnapShotState = %lu", s.ms,
               static_cast<unsigned long>(s.value.AsDword()));
    else
      DEMO_SAY("  t = %7.1f ms  SnapShotState absent", s.ms);
  }
}

}  // namespace demo
