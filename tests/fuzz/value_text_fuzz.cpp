// Raw value bytes exactly as large as the query returned them: the text and
// count rules must never look past them.
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>

#include "core/driver_registry_rules.h"
#include "core/shell_path.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 300) return 0;
  const std::uint32_t n = static_cast<std::uint32_t>(size);
  std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[size ? size : 1]);
  if (size) std::memcpy(exact.get(), data, size);

  char text[260];
  for (std::uint32_t capacity : {core::kValueArea, core::kDescriptionPathArea}) {
    if (core::TextFromValue(exact.get(), n, capacity, text)) {
      if (std::strlen(text) >= capacity) __builtin_trap();
      char number[5];
      core::DeviceNumber(text, number);
      char out[256];
      core::SettingsKeyPath(text, out);
      core::DeviceKeyPath(text, out);
      char shell[256];
      core::BuildShellPath(text, shell);
    }
  }
  core::InstanceCountFromBytes(exact.get(), n);
  if (core::DescriptionCountFromBytes(exact.get(), n) > core::kMaxDescriptionInstances)
    __builtin_trap();
  return 0;
}
