#include "core/hardware_id.h"

namespace core {

namespace {

constexpr char kUsbPrefix[] = "USB\\V";
constexpr std::size_t kUsbPrefixLength = 5;
constexpr std::size_t kVendorOffset = 8;
constexpr std::size_t kProductOffset = 17;

// Length of `id`, but counting no further than `limit`.
std::size_t BoundedLength(const char* id, std::size_t limit) {
  std::size_t n = 0;
  while (n < limit && id[n] != '\0') ++n;
  return n;
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Four characters of `id` at `offset` against `code`, letters in any case.
bool FourEqual(const char* id, std::size_t offset, const char* code) {
  if (BoundedLength(id, offset + kCodeLength) < offset + kCodeLength) return false;
  if (BoundedLength(code, kCodeLength) < kCodeLength) return false;
  for (std::size_t i = 0; i < kCodeLength; ++i) {
    if (Upper(id[offset + i]) != Upper(code[i])) return false;
  }
  return true;
}

}  // namespace

void TerminateMultiString(char* buffer, std::size_t capacity, std::size_t reported) {
  if (buffer == nullptr || capacity < 2) return;
  const std::size_t at = reported <= capacity - 2 ? reported : capacity - 2;
  buffer[at] = '\0';
  buffer[at + 1] = '\0';
}

std::size_t CountMultiString(const char* buffer, std::size_t capacity) {
  std::size_t count = 0;
  std::size_t at = 0;
  while (at < capacity && buffer[at] != '\0') {
    while (at < capacity && buffer[at] != '\0') ++at;
    if (at == capacity) break;  // unterminated tail: not a whole string
    ++count;
    ++at;
  }
  return count;
}

void SplitMultiString(char* buffer, std::size_t capacity, const char** list, std::size_t count) {
  list[0] = buffer;
  std::size_t at = 0;
  std::size_t n = 0;
  while (n < count && at < capacity && buffer[at] != '\0') {
    list[1 + n++] = buffer + at;
    while (at < capacity && buffer[at] != '\0') ++at;
    ++at;
  }
  list[1 + n] = nullptr;
}

bool IsUsbIdentifier(const char* id) {
  if (id == nullptr) return false;
  for (std::size_t i = 0; i < kUsbPrefixLength; ++i) {
    if (id[i] != kUsbPrefix[i]) return false;  // also stops at a short id's terminator
  }
  return true;
}

bool VendorMatches(const char* id, const char* vendor) {
  return FourEqual(id, kVendorOffset, vendor);
}

bool TableMatches(const char* id, const ModuleTable& table) {
  for (const auto& code : table.codes) {
    if (code[0] == '\0') continue;
    if (FourEqual(id, kProductOffset, code)) return true;
  }
  return false;
}

void ScanModules(DeviceSource& devices, const ModuleConfig& config, IdentifierSink& list,
                 ModuleFlags* flags) {
  list.Clear();
  if (!devices.Open()) return;
  flags->a = false;
  flags->b = false;

  const char* first = nullptr;
  for (std::uint32_t index = 0; devices.Device(index, &first); ++index) {
    if (!IsUsbIdentifier(first)) continue;
    list.Add(first);
    if (!VendorMatches(first, config.vendor)) continue;
    // After a family A module the rest is only listed.
    if (flags->a) continue;
    if (TableMatches(first, config.a)) {
      flags->a = true;
      continue;
    }
    if (!flags->b && TableMatches(first, config.b)) flags->b = true;
  }
  devices.Close();
}

}  // namespace core
