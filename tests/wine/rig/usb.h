// Simulated USB devices for the launcher's module scan: SetupAPI under Wine
// lists every key HKLM\System\CurrentControlSet\Enum\USB\<device>\<instance>
// that has a ClassGUID, in key-name order (case-insensitive), with the
// instance's HardwareID multi-string as staged.
#pragma once

#include <string>
#include <vector>

#include "rig.h"

namespace rig {

constexpr char kUsbEnumKey[] = "System\\CurrentControlSet\\Enum\\USB";

// Strings each ended by a zero byte, the list by an empty string.
Bytes MultiString(const std::vector<std::string>& strings);

// Stages a present device. `device` is the key name and decides the order;
// it need not agree with the identifiers.
void StageUsbDevice(const std::string& device, const std::vector<std::string>& hardwareIds,
                    const std::string& instance = "0001");
// A device with a HardwareID value of exactly these bytes and type.
void StageUsbDeviceRaw(const std::string& device, DWORD type, const Bytes& hardwareId,
                       const std::string& instance = "0001");
// Removes every device the rig staged.
void RemoveUsbDevices();

}  // namespace rig
