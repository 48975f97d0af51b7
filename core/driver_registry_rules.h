// Rules of the camera driver's instance record: which registry view to open,
// how the instance count and instance paths are read from raw value bytes,
// and what the tools derive from an instance path. No platform headers here;
// the registry is reached through RegistryHost.
#pragma once

#include <cstddef>
#include <cstdint>

namespace core {

constexpr char kDriverKeyPath[] = "SOFTWARE\\Veltra\\ZADAZ\\QV7DRV";
constexpr char kDriverKeyPathUpper[] = "SOFTWARE\\VELTRA\\ZADAZ\\QV7DRV";
constexpr char kViewProbePath[] = "SOFTWARE\\Wow6432Node";
constexpr char kKernelMachinePrefix[] = "\\Registry\\MACHINE\\";
constexpr std::size_t kKernelMachinePrefixLength = 18;
constexpr char kSettingsSuffix[] = "\\Settings";

// Areas the driver's values are read into (bytes, terminator included).
constexpr std::uint32_t kValueArea = 256;
constexpr std::uint32_t kDescriptionPathArea = 260;
constexpr std::size_t kDeviceNumberLength = 4;
constexpr std::size_t kDeviceNumberOffset = 96;

constexpr std::uint32_t kKeyRead = 0x20019;
constexpr std::uint32_t kKeyAllAccess = 0xF003F;
constexpr std::uint32_t kKeyWow64_64Key = 0x0100;
constexpr std::uint32_t kKeyWow64_32Key = 0x0200;

// The highest instance number the "ii%04d" names reach with four digits. A
// 32-bit count above it would keep the monitor busy for hours on a corrupt
// value, so the description lookup stops here.
constexpr std::uint32_t kMaxDescriptionInstances = 9999;

struct AccessMasks {
  std::uint32_t probe;
  std::uint32_t afterProbeYes;
  std::uint32_t afterProbeNo;
};

// vantor and snappulse ask for both views at once; rotasync for the 64-bit one.
constexpr AccessMasks kToolMasks{0x20319, 0x20319, kKeyRead};
constexpr AccessMasks kMonitorMasks{0x20119, 0x20119, kKeyRead};

enum class OpenStatus {
  Opened,
  Rejected,  // the host refused the access mask itself (ERROR_INVALID_PARAMETER)
  Failed,
};

// HKEY_LOCAL_MACHINE as the lookups see it. Keys are opaque non-zero ids.
class RegistryHost {
 public:
  using Key = std::uintptr_t;
  virtual OpenStatus Open(const char* path, std::uint32_t mask, Key* key) = 0;
  // Succeeds only when the value exists and fits `capacity`; *size is the
  // number of bytes written to `data`.
  virtual bool Query(Key key, const char* name, void* data, std::uint32_t capacity,
                     std::uint32_t* size) = 0;
  virtual void Close(Key key) = 0;

 protected:
  ~RegistryHost() = default;
};

// Closes a host key on scope exit.
class HostKey {
 public:
  explicit HostKey(RegistryHost& host) : host_(host) {}
  HostKey(const HostKey&) = delete;
  HostKey& operator=(const HostKey&) = delete;
  ~HostKey() {
    if (key_ != 0) host_.Close(key_);
  }
  RegistryHost::Key get() const { return key_; }
  RegistryHost::Key* put() { return &key_; }
  explicit operator bool() const { return key_ != 0; }

 private:
  RegistryHost& host_;
  RegistryHost::Key key_ = 0;
};

// An instance path: text up to 255 characters.
struct InstancePath {
  char text[kValueArea];
};

// The view probe and the mask for the Driver key that follows from it. Where
// the host rejects a mask carrying both view flags (Windows 7 and later), the
// 64-bit view is probed and opened instead.
std::uint32_t ChooseDriverKeyMask(RegistryHost& host, const AccessMasks& masks);

// Opens the Driver key as the tools do; `*key` stays 0 when it cannot be opened.
void OpenDriverKey(RegistryHost& host, const AccessMasks& masks, const char* path,
                   RegistryHost::Key* key);

// Text of a string value whose query returned `size` bytes into an area of
// `capacity`: up to the first zero byte. A value without a zero byte is taken
// whole when it left room for one; one that filled the area does not fit.
bool TextFromValue(const void* data, std::uint32_t size, std::uint32_t capacity, char* out);

// Instance count of the tools: the first byte as a signed 8-bit number.
int InstanceCountFromBytes(const void* data, std::uint32_t size);

// Instance count of the description lookup: up to four bytes, little-endian,
// unsigned, capped at kMaxDescriptionInstances.
std::uint32_t DescriptionCountFromBytes(const void* data, std::uint32_t size);

// "ii%04d" for n; `out` holds 16 bytes.
void InstanceValueName(std::uint32_t n, char (&out)[16]);

// The tools' lookup: the first readable "ii%04d" value from 1 to the count.
// `driverKey` 0 means the Driver key is not open.
bool LookUpInstance(RegistryHost& host, RegistryHost::Key driverKey, InstancePath* path);

// Characters 96 to 99, ending early where the path ends.
void DeviceNumber(const char* instancePath, char (&out)[kDeviceNumberLength + 1]);

// The path from position 18 on; false for paths of 18 characters or fewer
// and for those the area cannot hold whole.
bool SettingsKeyPath(const char* instancePath, char (&out)[kValueArea]);

// Behind "\Registry\MACHINE\" and before the next "\Settings"; the whole
// path when the prefix is missing. At most 255 characters.
void DeviceKeyPath(const char* instancePath, char (&out)[kValueArea]);

// rotasync's description lookup: writes "DriverDesc" of the first existing
// instance into `description` (left untouched when none is read). Returns 0
// when the Driver key or the device key cannot be opened, else 1.
int GetDriverDescription(RegistryHost& host, char (&description)[kValueArea]);

}  // namespace core
