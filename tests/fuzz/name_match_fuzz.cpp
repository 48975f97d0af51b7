// Friendly names of any length and content against any driver description.
#include <cstring>
#include <memory>
#include <vector>

#include "core/rotation.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const std::vector<unsigned char> wide = in.Piece();
  const std::vector<unsigned char> description = in.Piece();

  // The name as the property bag hands it over: a counted wide string.
  const std::size_t length = wide.size() / sizeof(wchar_t);
  std::unique_ptr<wchar_t[]> name(new wchar_t[length ? length : 1]);
  if (length) std::memcpy(name.get(), wide.data(), length * sizeof(wchar_t));
  wchar_t copy[core::kFriendlyNameWideArea];
  core::CopyFriendlyName(name.get(), length, copy);

  // Narrowed as a code page would, then cut.
  std::vector<char> converted;
  for (const wchar_t* p = copy; *p; ++p) converted.push_back(static_cast<char>(*p));
  converted.push_back('\0');
  char ansi[core::kFriendlyNameAnsiArea];
  core::CutAnsiName(converted.data(), ansi);

  std::unique_ptr<char[]> desc(new char[description.size() + 1]);
  if (!description.empty()) std::memcpy(desc.get(), description.data(), description.size());
  desc[description.size()] = '\0';
  if (core::NameMatchesDescription(ansi, desc.get()) && desc[0] == '\0') __builtin_trap();

  const int index = core::RadioIndexForOrientation(in.Byte(), static_cast<signed char>(in.Byte()));
  const std::int32_t code = core::RotationCodeForIndex(index);
  if (code < 0 || code > 4) __builtin_trap();
  const core::RotationBlock block = core::BuildRotationBlock(core::kRotationPropertyId, code);
  for (std::size_t i = 28; i < core::kRotationBlockSize; ++i)
    if (block.bytes[i] != 0) __builtin_trap();
  return 0;
}
