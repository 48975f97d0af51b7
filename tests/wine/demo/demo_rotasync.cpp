#include <string>

#include "capture.h"
#include "demo.h"
#include "rig.h"

namespace demo {

namespace {

// Prints the blocks received since `from`, the first 28 bytes in hex (the
// rest of each block is checked to be zero).
size_t ShowBlocks(size_t from, size_t expected) {
  rig::WaitForSets(expected, 5000);
  Sleep(300);
  const auto sets = rig::ReadCaptureLog().sets;
  for (size_t i = from; i < sets.size(); ++i) {
    const rig::PropertySent& s = sets[i];
    std::string head;
    bool zeros = true;
    for (size_t b = 0; b < s.data.size(); ++b) {
      if (b < 28) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X ", s.data[b]);
        head += hex;
        if (b == 15 || b == 19 || b == 23) head += "| ";
      } else if (s.data[b] != 0) {
        zeros = false;
      }
    }
    DEMO_SAY("  #%zu to \"%s\": set %s, id %lu, lengths %lu/%lu, code %u", i + 1, s.device.c_str(),
             s.set.c_str(), static_cast<unsigned long>(s.id),
             static_cast<unsigned long>(s.instanceLength), static_cast<unsigned long>(s.dataLength),
             s.data.size() > 24 ? s.data[24] : 0);
    DEMO_SAY("      %s+ %zu bytes %s", head.c_str(), s.data.size() > 28 ? s.data.size() - 28 : 0,
             zeros ? "all zero" : "NOT ZERO");
  }
  if (sets.size() == from) DEMO_SAY("  (nothing received)");
  return sets.size();
}

}  // namespace

void DemoRotasync() {
  Heading("rotasync: rotation codes delivered to the camera driver");
  const char camera[] = "Veltra QV7 USB2.0 Camera";
  rig::RemoveCaptureDevices();
  rig::ClearCaptureLog();
  rig::StageCamera("0000", camera);
  rig::RegisterCaptureDevice("cam0", camera);
  DEMO_SAY("Camera \"%s\" registered with a matching video input device.", camera);

  DEMO_SAY("Starting rotasync.exe (display not turned) ...");
  rig::Process monitor;
  if (!monitor.Start(rig::ProgramPath("rotasync.exe"))) {
    DEMO_SAY("  could not start rotasync.exe");
    return;
  }
  HWND window = nullptr;
  for (int i = 0; i < 500 && window == nullptr; ++i) {
    window = FindWindowA(nullptr, "Rotasync(VT4R88x)");
    if (window == nullptr) Sleep(20);
  }
  if (window == nullptr) {
    DEMO_SAY("  no window appeared");
    return;
  }
  size_t seen = ShowBlocks(0, 1);
  DEMO_SAY("  window \"Rotasync(VT4R88x)\" exists, visible: %s",
           IsWindowVisible(window) ? "yes" : "no");

  DEMO_SAY("Running snappulse.exe ...");
  rig::Run(rig::ProgramPath("snappulse.exe"));
  seen = ShowBlocks(seen, seen + 1);

  DEMO_SAY("Posting \"RotateNotify\" from another program ...");
  PostMessageA(window, RegisterWindowMessageA("RotateNotify"), 0, 0);
  seen = ShowBlocks(seen, seen + 1);

  DEMO_SAY("Turning the display by 90 degrees (faked) ...");
  if (rig::FakeDisplayOrientation(1)) seen = ShowBlocks(seen, seen + 1);
  DEMO_SAY("Turning it back (faked) ...");
  if (rig::FakeDisplayOrientation(0)) seen = ShowBlocks(seen, seen + 1);

  DEMO_SAY("Sending WM_CLOSE ...");
  PostMessageA(window, WM_CLOSE, 0, 0);
  const DWORD code = monitor.Wait(5000);
  if (code == STILL_ACTIVE)
    DEMO_SAY("  rotasync.exe is still running");
  else
    DEMO_SAY("  rotasync.exe ended with exit code %lu", static_cast<unsigned long>(code));
  rig::RemoveCaptureDevices();
}

}  // namespace demo
