#include "core/driver_registry_rules.h"

#include <cstdio>
#include <cstring>

namespace core {

std::uint32_t ChooseDriverKeyMask(RegistryHost& host, const AccessMasks& masks) {
  std::uint32_t probe = masks.probe;
  std::uint32_t yes = masks.afterProbeYes;
  for (;;) {
    HostKey key(host);
    const OpenStatus status = host.Open(kViewProbePath, probe, key.put());
    if (status == OpenStatus::Opened) return yes;
    const std::uint32_t both = kKeyWow64_64Key | kKeyWow64_32Key;
    if (status != OpenStatus::Rejected || (probe & both) != both) return masks.afterProbeNo;
    // The host does not take both views in one mask; the 64-bit one is where
    // a 64-bit driver keeps its record.
    probe &= ~kKeyWow64_32Key;
    yes &= ~kKeyWow64_32Key;
  }
}

void OpenDriverKey(RegistryHost& host, const AccessMasks& masks, const char* path,
                   RegistryHost::Key* key) {
  *key = 0;
  const std::uint32_t mask = ChooseDriverKeyMask(host, masks);
  RegistryHost::Key opened = 0;
  if (host.Open(path, mask, &opened) == OpenStatus::Opened) *key = opened;
}

bool TextFromValue(const void* data, std::uint32_t size, std::uint32_t capacity, char* out) {
  if (size > capacity) return false;
  const char* bytes = static_cast<const char*>(data);
  const void* zero = size ? std::memchr(bytes, 0, size) : nullptr;
  std::size_t length;
  if (zero) {
    length = static_cast<std::size_t>(static_cast<const char*>(zero) - bytes);
  } else {
    if (size >= capacity) return false;
    length = size;
  }
  if (length) std::memcpy(out, bytes, length);
  out[length] = '\0';
  return true;
}

int InstanceCountFromBytes(const void* data, std::uint32_t size) {
  if (size == 0) return 0;
  return static_cast<signed char>(*static_cast<const unsigned char*>(data));
}

std::uint32_t DescriptionCountFromBytes(const void* data, std::uint32_t size) {
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  std::uint32_t count = 0;
  for (std::uint32_t i = 0; i < size && i < 4; ++i)
    count |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
  return count > kMaxDescriptionInstances ? kMaxDescriptionInstances : count;
}

void InstanceValueName(std::uint32_t n, char (&out)[16]) {
  // "ii" and at most ten digits: it always fits.
  (void)std::snprintf(out, sizeof out, "ii%04lu", static_cast<unsigned long>(n));
}

bool LookUpInstance(RegistryHost& host, RegistryHost::Key driverKey, InstancePath* path) {
  if (driverKey == 0) return false;
  unsigned char area[kValueArea];
  std::uint32_t size = 0;
  if (!host.Query(driverKey, "InstanceIndex", area, kValueArea, &size)) return false;
  const int count = InstanceCountFromBytes(area, size);
  for (int n = 1; n <= count; ++n) {
    char name[16];
    InstanceValueName(static_cast<std::uint32_t>(n), name);
    size = 0;
    if (host.Query(driverKey, name, area, kValueArea, &size) &&
        TextFromValue(area, size, kValueArea, path->text))
      return true;
  }
  return false;
}

void DeviceNumber(const char* instancePath, char (&out)[kDeviceNumberLength + 1]) {
  const std::size_t length = std::strlen(instancePath);
  std::size_t n = 0;
  if (length > kDeviceNumberOffset) {
    n = length - kDeviceNumberOffset;
    if (n > kDeviceNumberLength) n = kDeviceNumberLength;
    std::memcpy(out, instancePath + kDeviceNumberOffset, n);
  }
  out[n] = '\0';
}

bool SettingsKeyPath(const char* instancePath, char (&out)[kValueArea]) {
  const std::size_t length = std::strlen(instancePath);
  if (length <= kKernelMachinePrefixLength) return false;
  // Cut to the area, the path would name another key.
  const int written =
      std::snprintf(out, sizeof out, "%s", instancePath + kKernelMachinePrefixLength);
  return written >= 0 && static_cast<std::size_t>(written) < sizeof out;
}

void DeviceKeyPath(const char* instancePath, char (&out)[kValueArea]) {
  const char* start = std::strstr(instancePath, kKernelMachinePrefix);
  std::size_t length;
  if (start) {
    start += kKernelMachinePrefixLength;
    const char* settings = std::strstr(start, kSettingsSuffix);
    length = settings ? static_cast<std::size_t>(settings - start) : std::strlen(start);
  } else {
    start = instancePath;
    length = std::strlen(start);
  }
  if (length > kValueArea - 1) length = kValueArea - 1;
  std::memcpy(out, start, length);
  out[length] = '\0';
}

int GetDriverDescription(RegistryHost& host, char (&description)[kValueArea]) {
  HostKey driverKey(host);
  OpenDriverKey(host, kMonitorMasks, kDriverKeyPathUpper, driverKey.put());
  if (!driverKey) return 0;

  unsigned char countBytes[4] = {};
  std::uint32_t size = 0;
  std::uint32_t count = 0;
  if (host.Query(driverKey.get(), "InstanceIndex", countBytes, sizeof countBytes, &size))
    count = DescriptionCountFromBytes(countBytes, size);

  for (std::uint32_t i = 1; i <= count; ++i) {
    char name[16];
    InstanceValueName(i, name);
    unsigned char area[kDescriptionPathArea];
    char path[kDescriptionPathArea];
    path[0] = '\0';
    size = 0;
    if (!host.Query(driverKey.get(), name, area, kDescriptionPathArea, &size) ||
        !TextFromValue(area, size, kDescriptionPathArea, path))
      continue;
    if (path[0] != '\0') {
      char deviceKeyPath[kValueArea];
      DeviceKeyPath(path, deviceKeyPath);
      HostKey deviceKey(host);
      if (host.Open(deviceKeyPath, kKeyRead, deviceKey.put()) != OpenStatus::Opened) return 0;
      unsigned char text[kValueArea];
      size = 0;
      if (host.Query(deviceKey.get(), "DriverDesc", text, kValueArea, &size))
        TextFromValue(text, size, kValueArea, description);
    }
    break;
  }
  return 1;
}

}  // namespace core
