#include "usb.h"

namespace rig {

namespace {

constexpr char kCameraClass[] = "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}";

std::vector<std::string>& Staged() {
  static std::vector<std::string> devices;
  return devices;
}

}  // namespace

Bytes MultiString(const std::vector<std::string>& strings) {
  Bytes bytes;
  for (const std::string& s : strings) {
    bytes.insert(bytes.end(), s.begin(), s.end());
    bytes.push_back(0);
  }
  bytes.push_back(0);
  return bytes;
}

void StageUsbDeviceRaw(const std::string& device, DWORD type, const Bytes& hardwareId,
                       const std::string& instance) {
  const std::string key = std::string(kUsbEnumKey) + "\\" + device + "\\" + instance;
  SetValue(HKEY_LOCAL_MACHINE, key, "HardwareID", type, hardwareId);
  SetString(HKEY_LOCAL_MACHINE, key, "ClassGUID", kCameraClass);
  Staged().push_back(device);
}

void StageUsbDevice(const std::string& device, const std::vector<std::string>& hardwareIds,
                    const std::string& instance) {
  StageUsbDeviceRaw(device, REG_MULTI_SZ, MultiString(hardwareIds), instance);
}

void RemoveUsbDevices() {
  for (const std::string& device : Staged())
    DeleteTree(HKEY_LOCAL_MACHINE, std::string(kUsbEnumKey) + "\\" + device);
  Staged().clear();
}

}  // namespace rig
