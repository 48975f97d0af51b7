#include "capture.h"

#include <cstdlib>
#include <cstring>

#include "../capture_filter/capture_filter.h"

namespace rig {

namespace {

const char kVideoInputInstances[] = "CLSID\\{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\Instance";
const char kVideoKeys[] =
    "System\\CurrentControlSet\\Hardware Profiles\\Current\\System\\CurrentControlSet\\Control\\"
    "Video";

const char* ClsidOf(CaptureKind kind) {
  switch (kind) {
    case CaptureKind::Refusing:
      return capture_filter::kRefusingClsid;
    case CaptureKind::NoPropertySet:
      return capture_filter::kNoPropertySetClsid;
    case CaptureKind::Unbound:
      return capture_filter::kUnboundClsid;
    case CaptureKind::Accepting:
      break;
  }
  return capture_filter::kAcceptingClsid;
}

void RegisterServer(const char* clsid) {
  const std::string key = std::string("CLSID\\") + clsid + "\\InprocServer32";
  SetString(HKEY_CLASSES_ROOT, key, "", FixturePath("capture_filter.dll"));
  SetString(HKEY_CLASSES_ROOT, key, "ThreadingModel", "Both");
}

Bytes FromHex(const std::string& hex) {
  Bytes bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(
        static_cast<unsigned char>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
  return bytes;
}

std::vector<std::string> Split(const std::string& line, char separator) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t end = line.find(separator, start);
    fields.push_back(line.substr(start, end - start));
    if (end == std::string::npos) return fields;
    start = end + 1;
  }
}

}  // namespace

void RegisterCaptureDevice(const std::string& instanceKey, const std::string& friendlyName,
                           CaptureKind kind) {
  const char* clsid = ClsidOf(kind);
  if (kind != CaptureKind::Unbound) RegisterServer(clsid);
  const std::string key = std::string(kVideoInputInstances) + "\\" + instanceKey;
  SetString(HKEY_CLASSES_ROOT, key, "CLSID", clsid);
  SetString(HKEY_CLASSES_ROOT, key, "FriendlyName", friendlyName);
}

void RemoveCaptureDevices() { DeleteTree(HKEY_CLASSES_ROOT, kVideoInputInstances); }

CaptureLog ReadCaptureLog() {
  CaptureLog log;
  std::string text;
  if (!ReadFileText(capture_filter::kDefaultLog, &text)) return log;
  for (const std::string& line : Split(text, '\n')) {
    const std::vector<std::string> f = Split(line, '\t');
    if (f.size() >= 3 && f[0] == "bind") log.binds.push_back(f[1]);
    if (f.size() < 10 || f[0] != "set") continue;
    PropertySent sent;
    sent.device = f[1];
    sent.set = f[2];
    sent.id = std::strtoul(f[3].c_str(), nullptr, 10);
    sent.instanceLength = std::strtoul(f[4].c_str(), nullptr, 10);
    sent.dataLength = std::strtoul(f[5].c_str(), nullptr, 10);
    sent.instance = FromHex(f[6]);
    sent.data = FromHex(f[7]);
    sent.result = std::strtoul(f[8].c_str(), nullptr, 16);
    log.sets.push_back(sent);
  }
  return log;
}

void ClearCaptureLog() { DeleteFileA(capture_filter::kDefaultLog); }

CaptureLog WaitForSets(size_t count, DWORD ms) {
  const double until = NowMs() + ms;
  for (;;) {
    CaptureLog log = ReadCaptureLog();
    if (log.sets.size() >= count || NowMs() > until) return log;
    Sleep(20);
  }
}

bool FakeDisplayOrientation(DWORD orientation) {
  HKEY video = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVideoKeys, 0, KEY_READ, &video) != ERROR_SUCCESS)
    return false;
  bool patched = false;
  char name[MAX_PATH];
  for (DWORD i = 0;; ++i) {
    DWORD length = sizeof name;
    if (RegEnumKeyExA(video, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    const std::string adapter = std::string(kVideoKeys) + "\\" + name + "\\0000";
    for (const char* mode : {"Modes\\FFFFFFFF", "Modes\\FFFFFFFE"}) {
      Value value = ReadValue(HKEY_LOCAL_MACHINE, adapter, mode);
      // A DEVMODEW from dmFields on: the orientation is 12 bytes in.
      if (!value.present || value.bytes.size() < 16) continue;
      std::memcpy(&value.bytes[12], &orientation, sizeof orientation);
      SetValue(HKEY_LOCAL_MACHINE, adapter, mode, value.type, value.bytes);
      patched = true;
    }
  }
  RegCloseKey(video);
  if (patched) PostMessageA(HWND_BROADCAST, WM_DISPLAYCHANGE, 32, MAKELPARAM(1024, 768));
  return patched;
}

}  // namespace rig
