#include "core/rotation.h"

#include <cstring>

namespace core {

int RadioIndexForOrientation(std::uint32_t orientation, int current) {
  // DMDO_DEFAULT, DMDO_90, DMDO_180, DMDO_270.
  static const int kIndexFor[kRadioCount] = {0, 3, 2, 1};
  return orientation < kRadioCount ? kIndexFor[orientation] : current;
}

std::int32_t RotationCodeForIndex(int index) {
  return index >= 0 && index < kRadioCount ? index + 1 : 0;
}

namespace {

void PutLittleEndian(unsigned char* at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(v >> (8 * i));
}

}  // namespace

RotationBlock BuildRotationBlock(std::uint32_t propertyId, std::int32_t value) {
  RotationBlock block;
  std::memset(block.bytes, 0, sizeof block.bytes);
  std::memcpy(block.bytes, kCameraRotationSetBytes, sizeof kCameraRotationSetBytes);
  PutLittleEndian(block.bytes + 16, propertyId);
  PutLittleEndian(block.bytes + 20, kKsPropertyTypeSet);
  PutLittleEndian(block.bytes + 24, static_cast<std::uint32_t>(value));
  return block;
}

void CopyFriendlyName(const wchar_t* name, std::size_t length,
                      wchar_t (&out)[kFriendlyNameWideArea]) {
  std::size_t n = 0;
  if (name != nullptr)
    while (n < length && n < kFriendlyNameWideArea - 1 && name[n] != L'\0') ++n;
  if (n) std::memcpy(out, name, n * sizeof(wchar_t));
  out[n] = L'\0';
}

void CutAnsiName(const char* converted, char (&out)[kFriendlyNameAnsiArea]) {
  std::size_t n = 0;
  while (n < kFriendlyNameAnsiArea - 1 && converted[n] != '\0') ++n;
  std::memcpy(out, converted, n);
  out[n] = '\0';
}

bool NameMatchesDescription(const char* ansiName, const char* description) {
  if (description[0] == '\0') return false;
  return std::strncmp(ansiName, description, kNameMatchLength) == 0;
}

}  // namespace core
