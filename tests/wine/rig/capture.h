// Stand-in capture devices for the monitor's tests: video input devices the
// system device enumerator lists, served by capture_filter.dll, and the log
// of every property they received. Also the faked display orientation.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "rig.h"

namespace rig {

enum class CaptureKind {
  Accepting,
  Refusing,       // answers every property with an error
  NoPropertySet,  // offers no IKsPropertySet
  Unbound,        // its class has no server: binding fails
};

// Registers a video input device. The enumerator lists devices in the order
// of `instanceKey`; `friendlyName` is what it reports.
void RegisterCaptureDevice(const std::string& instanceKey, const std::string& friendlyName,
                           CaptureKind kind = CaptureKind::Accepting);
void RemoveCaptureDevices();

struct PropertySent {
  std::string device;  // friendly name the filter was loaded with
  std::string set;     // {GUID}
  DWORD id = 0;
  DWORD instanceLength = 0, dataLength = 0;
  Bytes instance, data;
  DWORD result = 0;  // what the filter answered
};

struct CaptureLog {
  std::vector<std::string> binds;  // devices whose filter was bound, in order
  std::vector<PropertySent> sets;
};

CaptureLog ReadCaptureLog();
void ClearCaptureLog();
// Waits until `count` properties were received (or `ms` passed).
CaptureLog WaitForSets(size_t count, DWORD ms = 10000);

// The display orientation (DMDO_*) as EnumDisplaySettings reports it under the
// null graphics driver, then WM_DISPLAYCHANGE to every top-level window.
bool FakeDisplayOrientation(DWORD orientation);

}  // namespace rig
