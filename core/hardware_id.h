// Which camera module family is attached, decided from the devices' hardware
// identifiers. The device enumeration itself is reached through DeviceSource;
// nothing here touches the platform.
#pragma once

#include <cstddef>
#include <cstdint>

namespace core {

constexpr std::size_t kModuleSlots = 20;
constexpr std::size_t kCodeLength = 4;

// A slot holds four upper-case hex digits, or "" when empty.
struct ModuleTable {
  char codes[kModuleSlots][kCodeLength + 1];
};

// The product configuration: the maker's USB vendor id and both families.
struct ModuleConfig {
  char vendor[kCodeLength + 1];
  ModuleTable a;  // selects payload 137
  ModuleTable b;  // selects payload 135
};

// The property buffer: a first request of 8192 bytes in an area two bytes
// larger, so the list can always be ended inside the buffer.
constexpr std::uint32_t kPropertyRequest = 8192;
constexpr std::uint32_t kPropertySpare = 2;

// Writes the two zero bytes that end the multi-string at `reported` and
// `reported` + 1, clamped into the last two bytes of the `capacity`-byte
// buffer, so a value that lacks its own terminators is still ended.
void TerminateMultiString(char* buffer, std::size_t capacity, std::size_t reported);

// Strings before the first empty one; never looks beyond `capacity` bytes.
std::size_t CountMultiString(const char* buffer, std::size_t capacity);

// The split form: list[0] = buffer (what the release frees), list[1..count]
// the strings, list[count + 1] = null. `list` has count + 2 cells.
void SplitMultiString(char* buffer, std::size_t capacity, const char** list, std::size_t count);

// "USB\V" at the start.
bool IsUsbIdentifier(const char* id);
// Characters 8-11 (after "USB\VID_") equal the vendor code, any case.
bool VendorMatches(const char* id, const char* vendor);
// Characters 17-20 (after "&PID_"), upper-cased, equal a non-empty slot.
bool TableMatches(const char* id, const ModuleTable& table);

// The present devices in enumeration order.
class DeviceSource {
 public:
  virtual bool Open() = 0;
  // False once `index` is past the last device. `first` receives the
  // device's first hardware identifier, or null when it has none; it stays
  // valid until the next call.
  virtual bool Device(std::uint32_t index, const char** first) = 0;
  virtual void Close() = 0;

 protected:
  ~DeviceSource() = default;
};

// Receives every USB identifier the scan sees (the diagnostic list).
class IdentifierSink {
 public:
  virtual void Clear() = 0;
  virtual void Add(const char* id) = 0;

 protected:
  ~IdentifierSink() = default;
};

struct ModuleFlags {
  bool a;
  bool b;
};

// One pass over all devices. When the device set cannot be opened the list
// is empty and `flags` keeps its previous values.
void ScanModules(DeviceSource& devices, const ModuleConfig& config, IdentifierSink& list,
                 ModuleFlags* flags);

}  // namespace core
